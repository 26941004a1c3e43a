// The two fixed tables of Czech names used by the packet decoder, and the reply lifetimes
// of the response cache. Names are UTF-8 literals; nothing here is Windows-1250.

#include "data/tdata.h"

const std::array<ObjectInfo, 27> ObjectTable = {{
    {"Global", 3600000},        // 0
    {"SMS", 2000},              // 1: TRAP records
    {"Ars", 60000},             // 2
    {"Trasa", 60000},           // 3
    {"Oprávnění A", 120000},    // 4
    {"Oprávnění B", 120000},    // 5
    {"Oprávnění C", 120000},    // 6
    {"Oprávnění D", 120000},    // 7
    {"Oprávnění E", 120000},    // 8
    {"Oprávnění F", 120000},    // 9
    {"Oprávnění H", 120000},    // 10: there is no letter G
    {"Skupiny", 5000},          // 11
    {"Čísla služeb", 60000},    // 12
    {"Zkrácené volby", 60000},  // 13
    {"Čísla linek", 60000},     // 14: extension numbers
    {"VLIndividual", 60000},    // 15
    {"VLProvoz", 2000},         // 16
    {"Zprávy", 60000},          // 17: message indications
    {"PersonalDial", 60000},    // 18
    {"COIndividual", 60000},    // 19
    {"COProvoz", 60000},        // 20
    {"Blok služeb", 60000},     // 21
    {"Stav linek", 300},        // 22: line status
    {"Masky zkr.voleb", 60000}, // 23
    {"Paměť voleb", 60000},     // 24
    {"SYSIndividual", 60000},   // 25
    {"SYSProvoz", 60000},       // 26
}};

const std::array<const char*, 6> OperationNames = {
    "Čtení",     // 0 read
    "Zápis",     // 1 write
    "Info",      // 2
    "SaveEPROM", // 3
    "GetUCT",    // 4
    "RepUCT",    // 5
};

uint32_t objectLifetimeMs(uint8_t objectCode)
{
    // Object codes outside the table (above 26) stay fresh for 10 ms only.
    return objectCode < ObjectTable.size() ? ObjectTable[objectCode].lifetimeMs : 10;
}
