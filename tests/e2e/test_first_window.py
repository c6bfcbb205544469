"""The first window a player sees, and what closing it does."""
from dialog_tables import LOGIN, check_layout


def test_without_a_stored_key_the_login_dialog_opens_and_closing_it_exits_quietly(
        install, ui, server, shot):
    assert not install.config_txt.exists()
    install.start()
    ui.wait("Login")
    shot("login-dialog")

    assert check_layout(ui.layout("Login"), LOGIN) == []
    assert ui.text("Login", 1017) == "&Login"
    assert ui.focus("Login") == 1015, "the first tab stop, the user name, has the focus"

    ui.close("Login")
    assert install.wait_exit() == 0
    assert server.requests() == []
    assert not install.config_txt.exists()
