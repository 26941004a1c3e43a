#include "mail/agentvxentrypoints.h"

#include <QLibrary>
#include <type_traits>

QString resolveAgentvxEntryPoints(QLibrary& library, AgentvxEntryPoints& api)
{
    QString missing;
    const auto resolve = [&](auto& target, const char* name) {
        target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(library.resolve(name));
        if (!target)
            missing = QLatin1String(name);
        return target != nullptr;
    };
    resolve(api.quickTest, "RychlyTestZmenVeSchrankach") &&
        resolve(api.read, "NactiZmenyVeSchrankach") &&
        resolve(api.confirm, "PotvrdPreneseniZmenVeSchrankach") &&
        resolve(api.send, "PosliStavovouZpravu") && resolve(api.init, "InicializaceVXKomunikace") &&
        resolve(api.deinit, "DeInicializaceVXKomunikace") &&
        resolve(api.setDebugLevel, "SetDebugLevel");
    return missing;
}
