#pragma once

#include <QString>

// Halcyra's folders, after the XDG base-directory rules: a variable that is unset or
// not an absolute path falls back to the default under the home folder.
namespace Paths {
// $XDG_CONFIG_HOME/halcyra (default ~/.config/halcyra): the settings.
QString configDirectory();
// $XDG_STATE_HOME/halcyra (default ~/.local/state/halcyra): what must outlive a crash.
QString stateDirectory();
// $XDG_DATA_HOME/halcyra (default ~/.local/share/halcyra): what outlives the settings.
QString dataDirectory();
} // namespace Paths
