#pragma once

#include <string>

// Who is signed in: known once start-up has checked the key, read by the main window.
struct Session {
    std::string userKey;
    std::string userName;
};
