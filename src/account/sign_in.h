// The two sign-in exchanges as the launcher acts on them: the key check at start-up and
// the login dialog's attempt.
#pragma once

#include <string>

enum class KeyCheckResult {
    kAccepted,     // the user name is known; open the main window
    kRejected,     // refused, empty or malformed answer: the stored key is no good
    kBanned,       // the account carries the "Banned" permission
    kUnreachable,  // the service could not be reached; the key may still be good
};

struct KeyCheck {
    KeyCheckResult result = KeyCheckResult::kRejected;
    std::string userName;
};

KeyCheck CheckUserKey(const std::string& userKey);

enum class LoginResult {
    kSignedIn,     // the user key is given and stored in config.txt
    kInvalid,      // refused, empty or malformed answer
    kUnreachable,  // the service could not be reached
    kNotStored,    // signed in, but config.txt could not be written
};

struct Login {
    LoginResult result = LoginResult::kInvalid;
    std::string userKey;  // set whenever the service gave one
};

// Sends the login request; on success writes the user key to `userKeyPath` and
// returns it.
Login AttemptLogin(const std::string& userName, const std::string& password,
                   const std::string& userKeyPath);
