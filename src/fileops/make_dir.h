#pragma once

#include "core/string.h"
#include "engine/procedure.h"

// MAKEDIR: directory paths created with every missing parent.
namespace updater {

struct MAKEDIR_INFO : Procedure {
    String dir;
};

}  // namespace updater
