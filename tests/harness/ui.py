"""Python side of ui_driver.exe: reads and drives the launcher's windows by caption and id."""
import time
NOT_FOUND = 3


class UiError(AssertionError):
    pass


class Ui:
    def __init__(self, prefix, driver_exe, timeout_ms=15000):
        self._prefix = prefix
        self._driver = str(driver_exe)
        self._timeout_ms = timeout_ms

    def _call(self, *args, timeout_ms=None):
        env = dict(self._prefix.env)
        env["UI_DRIVER_TIMEOUT_MS"] = str(timeout_ms if timeout_ms is not None else self._timeout_ms)
        result = self._prefix.run([self._driver, *args], check=False, env=env)
        if result.returncode != 0:
            raise UiError(f"ui_driver {' '.join(map(str, args))}: "
                          f"{result.stderr.decode(errors='replace').strip() or result.returncode}")
        return result.stdout.decode("cp1252").replace("\r\n", "\n")

    def _lines(self, *args):
        return self._call(*args).rstrip("\n").split("\n")

    def wait(self, caption, timeout_ms=None):
        self._call("wait", caption, timeout_ms=timeout_ms)

    def exists(self, caption, timeout_ms=500):
        try:
            self._call("wait", caption, timeout_ms=timeout_ms)
            return True
        except UiError:
            return False

    def wait_for_enabled(self, caption, control, text, timeout=120):
        """Polls until the control reads `text` and is enabled (a worker has finished)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.text(caption, control) == text and self.enabled(caption, control):
                return
            time.sleep(0.3)
        raise UiError(f"control {control} of {caption!r} reads {self.text(caption, control)!r}, "
                      f"enabled {self.enabled(caption, control)}, not {text!r}")

    def wait_gone(self, caption, timeout_ms=None):
        self._call("gone", caption, timeout_ms=timeout_ms)

    def text(self, caption, control=None):
        args = ("text", caption) if control is None else ("text", caption, control)
        return self._call(*args)[:-1]

    def visible(self, caption, control):
        return self._call("visible", caption, control).strip() == "1"

    def enabled(self, caption, control):
        return self._call("enabled", caption, control).strip() == "1"

    def click(self, caption, control):
        self._call("click", caption, control)

    def press_enter(self, caption, control):
        self._call("enter", caption, control)

    def type(self, caption, control, text):
        self._call("type", caption, control, text)

    def keys(self, caption, *keys):
        """Real key presses into the window, brought to the front: "tab", "alt+s",
        "enter", "text:Pilot"... (see ui_driver.cpp)."""
        self._call("keys", caption, *keys)

    def resize(self, caption, width, height):
        """Gives the window a new outer size, as the system does on a change of DPI."""
        self._call("resize", caption, width, height)

    def close(self, caption):
        self._call("close", caption)

    def owner(self, caption):
        """Caption of the window that owns this one ("" when it has no owner)."""
        return self._call("owner", caption)[:-1]

    def foreground(self, caption):
        """Caption of the window in front ("" for none); caption only needs to exist."""
        return self._call("foreground", caption)[:-1]

    def focus(self, caption):
        return int(self._call("focus", caption))

    def combo_items(self, caption, control):
        out = self._call("combo-items", caption, control)
        return out.split("\n")[:-1]

    def combo_selection(self, caption, control):
        return int(self._call("combo-get", caption, control))

    def select_combo(self, caption, control, index):
        self._call("combo-set", caption, control, index)

    def slider(self, caption, control):
        return int(self._call("slider-get", caption, control))

    def set_slider(self, caption, control, position):
        self._call("slider-set", caption, control, position)

    def checked(self, caption, control):
        return int(self._call("check-get", caption, control)) == 1

    def set_checked(self, caption, control, checked):
        self._call("check-set", caption, control, 1 if checked else 0)

    def message_box(self, caption, timeout_ms=None):
        """Waits for a message box with this caption and returns its body text."""
        self._call("wait", caption, timeout_ms=timeout_ms)
        return self._call("message-box", caption)[:-1]

    def press(self, caption, button=1):
        self._call("press", caption, button)

    def layout(self, caption):
        """The dialog's direct children in template order, as Control records."""
        lines = self._lines("layout", caption)
        _, width, height, left, top, dpi = lines[0].split()
        controls = Layout((int(width), int(height)), (int(left), int(top)), int(dpi))
        for line in lines[1:]:
            head, cls, style, exstyle, rect, text, extent = line.split("\t")
            x, y, w, h = map(int, rect.split())
            controls.append(Control(int(head.split()[1]), cls, int(style, 16), int(exstyle, 16),
                                    (x, y, w, h), text, tuple(map(int, extent.split()))))
        return controls


class Layout(list):
    """Controls in template order, with the dialog's client size in pixels, where its
    client area starts on the screen, and the display's DPI."""

    def __init__(self, client_size, client_origin=(0, 0), dpi=96):
        super().__init__()
        self.client_size, self.client_origin, self.dpi = client_size, client_origin, dpi


class Control:
    """text_size: the text's width and height in the dialog's font, in pixels."""

    def __init__(self, id, cls, style, exstyle, rect, text, text_size=(0, 0)):
        self.id, self.cls, self.style, self.exstyle, self.rect, self.text = id, cls, style, exstyle, rect, text
        self.text_size = text_size

    def __repr__(self):
        return f"Control({self.id}, {self.cls!r}, {self.style:#x}, {self.rect}, {self.text!r})"
