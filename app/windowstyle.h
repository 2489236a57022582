#pragma once

// Style sheets of the window's dark look.
namespace windowstyle {

inline constexpr char Window[] = "font-family: Verdana; font-size: 12px; color: rgb(210, 210, 210); "
                                 "selection-color: rgb(210, 210, 210);  background-color: rgb(45, 49, 54);";

inline constexpr char MenuBar[] = "QMenuBar { color: white; }"
                                  "QMenuBar:disabled { color: gray; }"
                                  "QMenuBar::item { background: transparent; }"
                                  "QMenuBar::item:selected { background: rgb(90, 100, 108); }";

inline constexpr char Menu[] =
    "QMenu { font-family: Verdana; font-size: 12px; color: white; background-color: rgb(90, 100, 108); }"
    "QMenu:selected { background-color: rgb(25, 28, 31); }"
    "QMenu:disabled { color: rgb(160, 160, 160); }";

inline constexpr char ProgressBar[] = "QProgressBar { border: 0px solid grey; border-radius: 4px; }"
                                      "QProgressBar::chunk { background-color: rgb(61, 174, 233); width: 15px; }";

inline constexpr char StatusBar[] = "QStatusBar::item { border-style:none;}";

// Rules that change nothing stay: docs/compatibility.md
inline constexpr char ParameterTree[] =
    "QTreeWidget { show-decoration-selected: 2; background-color: rgb(45, 49, 54); }"
    "QTreeView::item { height: 34px; font-weight: bold; }"
    "QTreeView::item:hover { background: rgb(80, 90, 95); }"
    "QTreeView::item:selected { border: 0px solid #567dbc; color: rgb(61, 174, 233); }"
    "QTreeWidget:on { padding-top: 1px; padding-left: 10px; }"
    "QTreeWidget:drop-down { subcontrol-origin: padding; subcontrol-position: top right; width: 15px; "
    "border-left-width: 0px; border-left-color: white; border-left-style: solid; "
    "border-top-right-radius: 0px; border-bottom-right-radius: 0px; }"
    "QTreeWidget:checked { background-color: rgb(230, 230, 230); color: black; }";

inline constexpr char TreeScrollBar[] =
    "QScrollBar { background-color: rgb(25, 28, 31); width: 20px; }"
    "QScrollBar::handle:vertical { border-radius: 2px; background: rgb(90, 100, 108); margin: 2px 2px 2px 3px; }"
    "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { height: 0px; }"
    "QScrollBar::add-line:vertical { height: 0px; }"
    "QScrollBar::sub-line:vertical { height: 0px; }";

inline constexpr char PageScrollBar[] =
    "QScrollBar { background-color: rgb(25, 28, 31); width: 15px; }"
    "QScrollBar::handle:vertical { border-radius: 2px; background: rgb(90, 100, 108); margin: 2px; }"
    "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { height: 0px; }"
    "QScrollBar::add-line:vertical { height: 0px; }"
    "QScrollBar::sub-line:vertical { height: 0px; }";

// Above the parameters, when the description is missing or cut short.
inline constexpr char DescriptionNote[] = "QLabel { color: rgb(240, 190, 70); padding: 6px; }";

inline constexpr char ValueLabel[] = "QLabel { font-weight: bold;}";

inline constexpr char FirmwareList[] =
    "QListWidget { border: 1px solid rgb(80, 95, 108); border-radius: 2px; background-color: rgb(25, 28, 31); "
    "selection-background-color: rgb(80, 90, 95); font-weight: bold; }"
    "QListWidget:disabled { color: gray; }";

inline constexpr char FirmwareInfo[] =
    "QTextEdit { border: 1px solid rgb(80, 95, 108); border-radius: 2px; background-color: rgb(45, 49, 54); "
    "selection-background-color: rgb(45, 49, 54); }"
    "QTextEdit:disabled { color: gray; }";

// Shared by the "Update" button and the buttons of the update warning.
inline constexpr char PushButton[] =
    "QPushButton { min-width: 80px; min-height: 30px; border: 1px solid rgb(80, 95, 108); border-radius: 2px; "
    "background-color: rgb(45, 49, 54); }"
    "QPushButton:default { border-color: rgb(61, 174, 233); }"
    "QPushButton:hover { background-color: rgb(80, 90, 95); }"
    "QPushButton:pressed { color: gray; background-color: rgb(25, 28, 31); }"
    "QPushButton:disabled { color: gray; }";

}  // namespace windowstyle
