"""The launcher's three dialogs as the player must see them, and a check of a live
dialog's layout against them (ids, kinds, texts, order, styles, tab stops, and
rectangles in dialog units)."""

WS_VISIBLE = 0x10000000
WS_TABSTOP = 0x00010000
WS_BORDER = 0x00800000
WS_EX_TRANSPARENT = 0x20
WS_EX_CLIENTEDGE = 0x200
ES_PASSWORD = 0x20
ES_AUTOHSCROLL = 0x80
ES_NUMBER = 0x2000
SS_CENTER = 0x1
SS_RIGHT = 0x2
BS_TYPE_MASK = 0xF
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, BS_GROUPBOX = 0x0, 0x1, 0x3, 0x7
CBS_DROPDOWNLIST = 0x3
CBS_SORT = 0x100
TBS_NOTICKS = 0x10


class Row:
    """One control: id, window class, text, (x, y, w, h) in dialog units, and what its
    style must hold."""

    def __init__(self, id, cls, text, rect, tab=False, visible=True, kind=None, style=0,
                 transparent=False, bordered=False):
        self.id, self.cls, self.text, self.rect = id, cls, text, rect
        self.tab, self.visible, self.kind, self.style = tab, visible, kind, style
        self.transparent, self.bordered = transparent, bordered


LOGIN = ("Login", (173, 68), [
    Row(1012, "Static", "&Username", (8, 15, 40, 8)),
    Row(1015, "Edit", "", (50, 12, 112, 14), tab=True, style=ES_AUTOHSCROLL, bordered=True),
    Row(-1, "Static", "&Password", (8, 33, 40, 8)),
    Row(1018, "Edit", "", (50, 30, 112, 14), tab=True, style=ES_PASSWORD | ES_AUTOHSCROLL,
        bordered=True),
    Row(1017, "Button", "&Login", (61, 47, 50, 14), tab=True, kind=BS_DEFPUSHBUTTON),
])


# Combo boxes are checked without WS_VSCROLL: a combo box hands it on to its list, so
# the live window never shows it.


def main_window_table(user_name, version_text):
    return ("Kestrava Launcher", (680, 468), [
        Row(1018, "Button", "&Logout", (7, 13, 50, 14), tab=True, kind=BS_PUSHBUTTON),
        Row(1016, "Static", user_name, (63, 16, 117, 8)),
        Row(1027, "Static", version_text, (546, 15, 75, 8)),
        Row(1019, "Button", "&Settings", (625, 12, 50, 14), tab=True, kind=BS_PUSHBUTTON),
        Row(-1, "Static", "Welcome to the Kestrava Alpha Test.", (37, 239, 165, 8)),
        Row(1014, "Static", "Select Ser&ver", (35, 349, 44, 8), visible=False),
        Row(1013, "ComboBox", "", (35, 358, 226, 93), tab=True, visible=False,
            kind=CBS_DROPDOWNLIST, style=CBS_SORT),
        # The status changes as it runs; it is wider than the bar so that a download's rate and
        # time left fit beside a long file name.
        Row(1012, "Static", None, (35, 377, 400, 8), transparent=True),
        Row(1010, "msctls_progress32", "", (35, 387, 225, 14), transparent=True),
        Row(1011, "Button", "&Install", (106, 404, 82, 14), tab=True, kind=BS_DEFPUSHBUTTON),
    ])


def _channel(box, slider, name, y):
    return [Row(box, "Button", name, (20, y + 2, 44, 10), tab=True, kind=BS_AUTOCHECKBOX),
            Row(slider, "msctls_trackbar32", name.replace("&", "") + " volume", (66, y, 82, 14),
                tab=True, style=TBS_NOTICKS)]


SETTINGS = ("Settings", (319, 131), [
    Row(-1, "Button", "Audio", (13, 10, 140, 91), kind=BS_GROUPBOX),
    *_channel(1032, 1031, "&Master", 20), *_channel(1025, 1021, "S&ounds", 35),
    *_channel(1027, 1024, "&Dialog", 50), *_channel(1028, 1022, "M&usic", 65),
    *_channel(1029, 1023, "&Cinematic", 80),
    Row(-1, "Button", "Video", (166, 14, 138, 49), kind=BS_GROUPBOX),
    Row(-1, "Static", "&Resolution", (186, 26, 38, 8), style=SS_RIGHT),
    Row(1026, "ComboBox", None, (234, 24, 67, 30), tab=True, kind=CBS_DROPDOWNLIST),
    Row(-1, "Static", "&Windowed Mode", (170, 41, 54, 8), style=SS_RIGHT),
    Row(1030, "ComboBox", None, (234, 40, 67, 30), tab=True, kind=CBS_DROPDOWNLIST),
    Row(1033, "Static", "&Limit download speed to", (166, 71, 84, 8)),
    Row(1034, "Edit", None, (250, 69, 32, 12), tab=True, style=ES_NUMBER | ES_AUTOHSCROLL,
        bordered=True),
    Row(1035, "Static", "KB/s", (285, 71, 19, 8)),
    Row(1020, "Button", "&Show FPS", (166, 87, 47, 10), tab=True, kind=BS_AUTOCHECKBOX),
    Row(1, "Button", "OK", (93, 107, 50, 14), tab=True, kind=BS_DEFPUSHBUTTON),
    Row(2, "Button", "Cancel", (147, 107, 50, 14), tab=True, kind=BS_PUSHBUTTON),
])


def mul_div(value, numerator, denominator):
    """Win32 MulDiv: rounds half away from zero."""
    product = value * numerator
    quotient, remainder = divmod(abs(product), denominator)
    if 2 * remainder >= denominator:
        quotient += 1
    return quotient if product >= 0 else -quotient


def to_pixels(rect, units):
    # Dialog creation scales position and size each on its own.
    (x, y, w, h), (ux, uy) = rect, units
    return (mul_div(x, ux, 4), mul_div(y, uy, 8), mul_div(w, ux, 4), mul_div(h, uy, 8))


def _matches(row, control, units):
    expected, actual = to_pixels(row.rect, units), control.rect
    if row.cls == "ComboBox":  # a combo box's window is its closed height, not the list's
        return expected[:3] == actual[:3]
    return expected == actual


def check_layout(layout, table):
    """Returns a list of differences between a live dialog and its table (empty when equal)."""
    _, size, rows = table
    problems = []
    if [c.id for c in layout] != [r.id for r in rows]:
        return [f"controls in order {[c.id for c in layout]}, expected {[r.id for r in rows]}"]
    candidates = [(ux, uy) for ux in range(4, 16) for uy in range(8, 32)
                  if all(_matches(r, c, (ux, uy)) for r, c in zip(rows, layout))]
    if not candidates:
        problems.append("no dialog base units map every rectangle of the table onto the dialog: "
                        + "; ".join(f"{r.id}: {c.rect}" for r, c in zip(rows, layout)))
    else:
        ux, uy = candidates[0]
        client = (mul_div(size[0], ux, 4), mul_div(size[1], uy, 8))
        if tuple(layout.client_size) != client:
            problems.append(f"client size {layout.client_size}, expected {client}")
    for row, control in zip(rows, layout):
        where = f"control {row.id} ({row.text or row.cls})"
        if control.cls.lower() != row.cls.lower():
            problems.append(f"{where}: class {control.cls}, expected {row.cls}")
        if row.text is not None and control.text != row.text:
            problems.append(f"{where}: text {control.text!r}, expected {row.text!r}")
        if bool(control.style & WS_TABSTOP) != row.tab:
            problems.append(f"{where}: tab stop {not row.tab}, expected {row.tab}")
        if bool(control.style & WS_VISIBLE) != row.visible:
            problems.append(f"{where}: visible {not row.visible}, expected {row.visible}")
        if row.kind is not None:
            mask = 0x3 if row.cls == "ComboBox" else BS_TYPE_MASK
            kind = control.style & mask
            # The dialog manager moves the default-button style along with the focus.
            if row.kind in (BS_PUSHBUTTON, BS_DEFPUSHBUTTON) and kind in (BS_PUSHBUTTON, BS_DEFPUSHBUTTON):
                kind = row.kind
            if kind != row.kind:
                problems.append(f"{where}: kind {control.style & mask:#x}, expected {row.kind:#x}")
        if control.style & row.style != row.style:
            problems.append(f"{where}: style {control.style:#x} lacks {row.style:#x}")
        if row.transparent and not control.exstyle & WS_EX_TRANSPARENT:
            problems.append(f"{where}: not transparent")
        if row.bordered and not (control.style & WS_BORDER or control.exstyle & WS_EX_CLIENTEDGE):
            problems.append(f"{where}: no border")
    return problems


def _kind(control):
    return control.style & BS_TYPE_MASK if control.cls == "Button" else None


def _text_room(control, dpi):
    """Pixels a control's own text needs beside it: push buttons a margin on each side,
    check boxes their box, group boxes the indent of their caption."""
    scale = dpi / 96
    if control.cls == "Button":
        kind = _kind(control)
        if kind == BS_GROUPBOX:
            return round(8 * scale)
        if kind in (BS_AUTOCHECKBOX, 0x2, 0x5, 0x6, 0x9, 0x4):  # check boxes and radio buttons
            return round(16 * scale)
        return round(6 * scale)
    return 0


def _inside(inner, outer):
    (x, y, w, h), (ox, oy, ow, oh) = inner, outer
    return ox <= x and oy <= y and x + w <= ox + ow and y + h <= oy + oh


def _overlap(a, b):
    (ax, ay, aw, ah), (bx, by, bw, bh) = a, b
    return ax < bx + bw and bx < ax + aw and ay < by + bh and by < ay + ah


def check_fit(layout):
    """What a player would see cut off or on top of something else, at any scale: a
    control leaving the client area, two controls overlapping (a group box holds the
    ones wholly inside it), a text wider or taller than its control. Hidden controls
    count too: they show later."""
    width, height = layout.client_size
    problems = []
    for control in layout:
        where = f"control {control.id} ({control.text or control.cls})"
        if not _inside(control.rect, (0, 0, width, height)):
            problems.append(f"{where}: {control.rect} leaves the client area {width}x{height}")
        text_w, text_h = control.text_size
        if control.text and control.cls in ("Static", "Button"):
            room = _text_room(control, layout.dpi)
            if text_w + room > control.rect[2] or text_h > control.rect[3]:
                problems.append(f"{where}: text {text_w}x{text_h} (+{room}) does not fit "
                                f"{control.rect[2]}x{control.rect[3]}")
    for i, a in enumerate(layout):
        for b in layout[i + 1:]:
            if not _overlap(a.rect, b.rect):
                continue
            boxes = [c for c in (a, b) if _kind(c) == BS_GROUPBOX]
            if boxes and any(_inside(c.rect, box.rect) for box in boxes for c in (a, b) if c is not box):
                continue
            problems.append(f"controls {a.id} ({a.text or a.cls}) {a.rect} and "
                            f"{b.id} ({b.text or b.cls}) {b.rect} overlap")
    return problems


def _access_key(text):
    at = text.replace("&&", "").find("&")
    return text.replace("&&", "")[at + 1].lower() if at >= 0 else None


def check_keyboard(layout):
    """What a player with the keyboard or a screen reader would miss: two controls with
    the same access key, a control to tab to without a name (its own text, or for a
    field or list the label just before it), a label whose access key leads nowhere."""
    problems = []
    keys = {}
    for control in layout:
        key = _access_key(control.text or "")
        if key:
            keys.setdefault(key, []).append(control.text)
    problems += [f"access key {key!r} on {texts}" for key, texts in keys.items() if len(texts) > 1]
    for before, control, after in zip([None, *layout], layout, [*layout[1:], None]):
        where = f"control {control.id} ({control.cls})"
        if control.style & WS_TABSTOP:
            labelled = before is not None and before.cls == "Static" and before.text
            if control.cls in ("Edit", "ComboBox") and not labelled:
                problems.append(f"{where}: no label before it names it")
            elif control.cls not in ("Edit", "ComboBox") and not control.text:
                problems.append(f"{where}: no name")
        if control.cls == "Static" and _access_key(control.text or ""):
            if after is None or not after.style & WS_TABSTOP:
                problems.append(f"{where} {control.text!r}: its access key leads to no control")
    return problems
