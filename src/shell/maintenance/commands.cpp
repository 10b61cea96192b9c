// The maintenance commands of the options menu.

#include "shell/main_menu.h"
#include "shell/maintenance/maintenance.h"

namespace kdx2::shell::maintenance {

void registerMaintenanceCommands() {
    registerCommand(26, [](int mode) { TIP_GRAV(mode); });
    registerCommand(27, [](int) { CAD_UFIR(); });
    registerCommand(28, [](int) { REINDEXA(); });
    registerCommand(30, [](int) { CALC_MENSAL(); });
    registerCommand(32, [](int) { FECHA_ANO(); });
}

}  // namespace kdx2::shell::maintenance
