#pragma once

#include <optional>
#include <string>

// Whether a graphical display can be reached. A dialog program that cannot open its display
// exits as if the user had said No, so the display is checked before one is started.
namespace updater::platform::posix {

// The socket of a local X display name (":0", ":1.0", "unix:0"); nullopt for a display on
// another host or a name that is not understood.
std::optional<std::string> LocalX11SocketPath(const std::string& display);

// The socket of a Wayland display name: an absolute name as it is, else below the runtime
// directory; nullopt when that directory is unknown.
std::optional<std::string> WaylandSocketPath(const std::string& waylandDisplay,
                                             const std::string& runtimeDirectory);

// True when $WAYLAND_DISPLAY or $DISPLAY names a display whose socket exists. A display on
// another host cannot be checked cheaply and is taken as reachable.
bool IsDisplayAvailable();

}  // namespace updater::platform::posix
