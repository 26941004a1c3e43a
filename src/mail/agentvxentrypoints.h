#pragma once

#include "mail/agentvxabi.h"

#include <QString>

class QLibrary;

// The seven entry points of a loaded mail library.
struct AgentvxEntryPoints
{
    RychlyTestZmenVeSchrankachFn quickTest = nullptr;
    NactiZmenyVeSchrankachFn read = nullptr;
    PotvrdPreneseniZmenVeSchrankachFn confirm = nullptr;
    PosliStavovouZpravuFn send = nullptr;
    InicializaceVXKomunikaceFn init = nullptr;
    DeInicializaceVXKomunikaceFn deinit = nullptr;
    SetDebugLevelFn setDebugLevel = nullptr;
};

// Resolves the entry points in this order and stops at the first one missing; returns
// its name, or the empty text when all seven were found.
QString resolveAgentvxEntryPoints(QLibrary& library, AgentvxEntryPoints& api);
