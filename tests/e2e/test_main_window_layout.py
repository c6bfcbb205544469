"""The main window and the Settings dialog, exact to their dialog tables."""
from conftest import MAIN_WINDOW
from dialog_tables import SETTINGS, check_layout, main_window_table


def test_main_window_and_settings_dialog_match_their_tables(signed_in, install, ui, shot):
    signed_in(name="Pilot")
    shot("main-window")
    assert check_layout(ui.layout(MAIN_WINDOW),
                        main_window_table("Pilot", "Launcher Version 1.0.1")) == []
    assert ui.focus(MAIN_WINDOW) == 1011, "the main button has the focus"

    ui.click(MAIN_WINDOW, 1019)
    ui.wait("Settings")
    shot("settings-dialog")
    assert check_layout(ui.layout("Settings"), SETTINGS) == []
    ui.click("Settings", 2)
    ui.wait_gone("Settings")

    ui.close(MAIN_WINDOW)
    assert install.wait_exit() == 0
