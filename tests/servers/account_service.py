"""A test account service: answers the launcher's login request and key check from a
table of users, and can be told per test to refuse, to answer with something else, or
to be unreachable."""
import json
import urllib.parse


class User:
    def __init__(self, name, password, key, permissions=(), answer_name=None):
        self.name, self.password, self.key = name, password, key
        self.permissions = list(permissions)
        self.answer_name = answer_name if answer_name is not None else name  # as the key check gives it


def parse_query(query):
    """Splits a query into (name, value) pairs, percent-decoding each. Unlike
    urllib's parse_qs, "+" stays "+": the launcher sends names and keys verbatim."""
    pairs = []
    for field in query.split("&") if query else []:
        name, _, value = field.partition("=")
        pairs.append((urllib.parse.unquote(name, encoding="latin-1"),
                      urllib.parse.unquote(value, encoding="latin-1")))
    return pairs


class AccountService:
    PATH = "/us/api/"

    def __init__(self):
        self.users = []
        self.answer = None  # (status, body) sent to every request instead of the real answer

    def reset(self):
        self.users = []
        self.answer = None

    def add_user(self, name, password, key, permissions=(), answer_name=None):
        user = User(name, password, key, permissions, answer_name)
        self.users.append(user)
        return user

    def __call__(self, path, query):
        if self.answer is not None:
            status, body = self.answer
            return status, body if isinstance(body, bytes) else body.encode("latin-1"), "application/json"
        fields = dict(parse_query(query))
        if fields.get("action") == "login":
            return self._login(fields.get("username"), fields.get("password"))
        if "key" in fields:
            return self._key_check(fields["key"])
        return self._refuse()

    def _login(self, name, password):
        for user in self.users:
            if user.name == name and user.password == password:
                return self._json({"success": True, "userMessage": [], "lang": "en", "apikey": user.key})
        return self._refuse()

    def _key_check(self, key):
        for user in self.users:
            if user.key == key:
                return self._json({
                    "success": True,
                    "userMessage": [],
                    "lang": "en",
                    "requests": {"userdata": True, "permissions": True},
                    "userdata": {"username": user.answer_name},
                    "permissions": {"ids": list(range(1, len(user.permissions) + 1)),
                                    "names": user.permissions},
                })
        return self._refuse()

    @staticmethod
    def _json(document):
        return 200, json.dumps(document).encode("latin-1"), "application/json"

    @staticmethod
    def _refuse():
        return 403, b"", "application/json"
