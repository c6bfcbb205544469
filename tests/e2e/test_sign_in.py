"""Signing in: the login dialog, the key check at start-up, and what the player is told."""
import pytest

from conftest import MAIN_WINDOW

KEY_CHECK_TAIL = "&requests[userdata]=true&requests[permissions]=true"
INVALID_STORED = "Your stored login credentials are invalid, restart the launcher and log in again."
UNREACHABLE_AT_START = ("Could not reach the account service. Check your connection and start the "
                        "launcher again.")
UNREACHABLE_IN_DIALOG = "Could not reach the account service. Check your connection and try again."


def login(ui, name, password):
    ui.type("Login", 1015, name)
    ui.type("Login", 1018, password)
    ui.click("Login", 1017)


def test_wrong_then_right_password(install, account, account_server, release, ui, shot):
    account.add_user("pilot", "right horse", "KEY-7f3a", answer_name="Pilot Prime")
    release.launcher_version("1.0.1")
    install.start()
    ui.wait("Login")

    login(ui, "pilot", "wrong")
    assert ui.message_box("Your login details are invalid") == "Invalid Login"
    assert ui.owner("Your login details are invalid") == "Login"
    shot("invalid-login")
    ui.press("Your login details are invalid")
    assert ui.text("Login", 1015) == "pilot" and ui.text("Login", 1018) == "wrong"
    assert not install.config_txt.exists()

    login(ui, "pilot", "right horse")
    ui.wait(MAIN_WINDOW)
    shot("main-window")
    assert install.config_txt.read_bytes() == b"KEY-7f3a"
    queries = [r.query for r in account_server.requests()]
    assert queries == ["username=pilot&password=wrong&action=login",
                       "username=pilot&password=right%20horse&action=login",
                       "key=KEY-7f3a" + KEY_CHECK_TAIL]
    assert ui.text(MAIN_WINDOW, 1016) == "Pilot Prime", "the name comes from the key answer"
    assert ui.text(MAIN_WINDOW, 1027) == "Launcher Version 1.0.1"
    ui.close(MAIN_WINDOW)
    assert install.wait_exit() == 0


def test_password_and_name_reach_the_service_as_typed(install, account, account_server, ui):
    account.add_user("a&b c", "p w+/x", "KEY-2")
    install.start()
    login(ui, "a&b c", "p w+/x")
    ui.wait(MAIN_WINDOW)
    first = account_server.requests()[0].query
    assert first == "username=a%26b%20c&password=p%20w%2b%2fx&action=login"
    assert install.config_txt.read_bytes() == b"KEY-2"


def test_unreachable_service_in_the_login_dialog_keeps_it_open(install, account, account_server, ui, shot):
    install.start()
    ui.wait("Login")
    with account_server.unreachable():
        login(ui, "pilot", "secret")
        assert ui.message_box(UNREACHABLE_IN_DIALOG) == "Connection Failed"
        assert ui.owner(UNREACHABLE_IN_DIALOG) == "Login"
        shot("connection-failed")
        ui.press(UNREACHABLE_IN_DIALOG)
    assert ui.exists("Login")
    assert not install.config_txt.exists()


def test_stored_key_is_checked_with_the_exact_request(install, account, account_server, release, ui):
    account.add_user("pilot", "x", "KEY-9")
    install.config_txt.write_bytes(b"KEY-9")
    install.start()
    ui.wait(MAIN_WINDOW)
    requests = account_server.requests()
    assert [(r.path, r.query) for r in requests] == [("/us/api/", "key=KEY-9" + KEY_CHECK_TAIL)]
    assert ui.text(MAIN_WINDOW, 1016) == "pilot"


def test_banned_account_ends_with_a_message_and_keeps_the_key(install, account, ui, shot):
    account.add_user("pilot", "x", "KEY-B", permissions=["Tester", "Banned"])
    install.config_txt.write_bytes(b"KEY-B")
    install.start()
    assert ui.message_box("Your account has been banned.") == "User Banned"
    assert ui.owner("Your account has been banned.") == ""
    shot("user-banned")
    ui.press("Your account has been banned.")
    assert install.wait_exit() == 0
    assert install.config_txt.read_bytes() == b"KEY-B"


@pytest.mark.parametrize("permission", ["banned", "Banned "])
def test_near_misses_of_banned_open_the_main_window(install, account, ui, permission):
    account.add_user("pilot", "x", "KEY-N", permissions=[permission])
    install.config_txt.write_bytes(b"KEY-N")
    install.start()
    ui.wait(MAIN_WINDOW)


@pytest.mark.parametrize("answer", [(403, b""), (200, b""), (200, b"<html>not json</html>")],
                         ids=["refused", "empty", "malformed"])
def test_rejected_key_deletes_config_txt(install, account, ui, answer):
    account.answer = answer
    install.config_txt.write_bytes(b"KEY-OLD")
    install.start()
    assert ui.message_box(INVALID_STORED) == "Invalid Login"
    ui.press(INVALID_STORED)
    assert install.wait_exit() == 0
    assert not install.config_txt.exists()


def test_unreachable_service_at_start_keeps_the_key(install, account, account_server, ui, shot):
    install.config_txt.write_bytes(b"KEY-KEEP")
    with account_server.unreachable():
        install.start()
        assert ui.message_box(UNREACHABLE_AT_START) == "Connection Failed"
        shot("connection-failed")
        ui.press(UNREACHABLE_AT_START)
        assert install.wait_exit() == 0
    assert install.config_txt.read_bytes() == b"KEY-KEEP"


@pytest.mark.parametrize("field", [1015, 1018])
def test_enter_in_either_field_logs_in(install, account, account_server, ui, field):
    account.add_user("pilot", "pw", "KEY-E")
    install.start()
    ui.type("Login", 1015, "pilot")
    ui.type("Login", 1018, "pw")
    ui.press_enter("Login", field)
    ui.wait(MAIN_WINDOW)
    assert install.config_txt.read_bytes() == b"KEY-E"


def test_long_input_is_cut_to_the_dialogs_buffers(install, account, account_server, ui):
    install.start()
    ui.type("Login", 1015, "n" * 40)
    ui.type("Login", 1018, "p" * 250)
    ui.click("Login", 1017)
    ui.press("Your login details are invalid")
    query = account_server.requests()[0].query
    assert query == f"username={'n' * 34}&password={'p' * 199}&action=login"


def test_every_start_reaches_the_service_again(install, account, account_server, ui):
    account.add_user("pilot", "x", "KEY-TWICE")
    install.config_txt.write_bytes(b"KEY-TWICE")
    for _ in range(2):
        install.start()
        ui.wait(MAIN_WINDOW)
        ui.close(MAIN_WINDOW)
        assert install.wait_exit() == 0
    assert [r.query for r in account_server.requests()] == ["key=KEY-TWICE" + KEY_CHECK_TAIL] * 2


def test_a_key_that_cannot_be_stored_keeps_the_dialog_open(install, account, ui, shot):
    # A folder named config.txt can be neither read nor written as a file, even by root.
    install.config_txt.mkdir()
    account.add_user("pilot", "pw", "KEY-S")
    install.start()
    login(ui, "pilot", "pw")
    caption = ("Your login could not be saved in the launcher's folder. Check that the folder can "
               "be written and try again.")
    assert ui.message_box(caption) == "Login Not Saved"
    assert ui.owner(caption) == "Login"
    shot("login-not-saved")
    ui.press(caption)
    assert ui.exists("Login")
