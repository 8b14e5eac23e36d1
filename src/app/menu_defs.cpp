#include "app/menu_defs.h"

#include <array>

#include "app/command_ids.h"

namespace orvel::app {

namespace {

constexpr std::array<MenuItemDef, 2> kControlMenu{{
    {id::kControlFullScreen, "fullscreen"},
    {id::kExit, "exit"},
}};

constexpr std::array<MenuItemDef, 9> kPaneMenu{{
    {id::kPanePlay, "play"},
    {id::kPaneStop, "stop"},
    {id::kPaneSpeed2, "2X", "speed"},
    {id::kPaneSpeed3, "3X", "speed"},
    {id::kPaneSpeed4, "4X", "speed"},
    {0, ""},
    {id::kPaneZoom, "zoom"},
    {id::kPanePhoto, "photo"},
    {id::kPaneRecord, "record"},
}};

constexpr std::array<MenuItemDef, 3> kStreamMenu{{
    {id::kStreamPlay, "play"},
    {id::kStreamStop, "stop"},
    {id::kStreamPlayRecord, "paly &recode"},
}};

constexpr std::array<MenuItemDef, 9> kSiteMenu{{
    {id::kSitePlayAll, "play all"},
    {id::kSiteStopPlay, "stop play"},
    {id::kSiteDisconnect, "disconnect"},
    {0, ""},
    {id::kSiteRemoteFiles, "remote files"},
    {id::kSiteDisplayFiles, "display files"},
    {0, ""},
    {id::kSiteDefault, "default connection"},
    {id::kSiteDelete, "delete"},
}};

constexpr std::array<MenuItemDef, 1> kAudioMenu{{
    {id::kAudioSilence, "silence"},
}};

const std::array<MenuDef, 6> kMenus{{
    {platform::MenuId::control, "control", kControlMenu},
    {platform::MenuId::file, "_filemenu_", {}},
    {platform::MenuId::pane, "_ScreenMenu_", kPaneMenu},
    {platform::MenuId::stream, "_StreamMenu_", kStreamMenu},
    {platform::MenuId::site, "POSITON", kSiteMenu},
    {platform::MenuId::audio, "AUDIO", kAudioMenu},
}};

}  // namespace

std::span<const MenuDef> menu_definitions() { return kMenus; }

const MenuDef* find_menu_definition(platform::MenuId menu) {
    for (const MenuDef& m : kMenus) {
        if (m.menu == menu) return &m;
    }
    return nullptr;
}

}  // namespace orvel::app
