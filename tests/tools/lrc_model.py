#!/usr/bin/env python3
"""A second, independent reading of the LRC grammar, written step by step in the
words of the format's description (1-based positions, restarts at each "["), to
check the C++ parser against on many generated texts."""

INT_MAX = 2147483647


def is_digit(c):
    return 48 <= c <= 57


def is_letter(c):
    return 65 <= c <= 90 or 97 <= c <= 122


def is_punct(c):
    return 33 <= c <= 47 or 58 <= c <= 64 or 91 <= c <= 96 or 123 <= c <= 126


def cls(c):
    if is_digit(c):
        return "d"
    if is_letter(c):
        return "l"
    if is_punct(c):
        return "p"
    return "b"


def trim(b):
    i, j = 0, len(b)
    while i < j and b[i] <= 32:
        i += 1
    while j > i and b[j - 1] <= 32:
        j -= 1
    return b[i:j]


def two(n):
    s = str(n)
    return "0" + s if len(s) == 1 else s


def format_label(ms):
    neg = ms < 0
    ms = abs(ms)
    hund = (ms % 1000) // 10
    s = ms // 1000
    h = s // 3600
    m = (s % 3600) // 60
    sec = s % 60
    hp = "" if h == 0 else two(h) + ":"
    if m == 0:
        mp = "00:" if hp else ""
    else:
        mp = two(m) + ":"
    return ("-" if neg else "") + hp + mp + two(sec) + "." + two(hund)


def read_offset(v):
    p = 0
    neg = False
    if p < len(v) and v[p] in b"+-":
        neg = v[p:p + 1] == b"-"
        p += 1
    base = 10
    if v[p:p + 1] == b"$" or v[p:p + 1] in (b"x", b"X"):
        base, p = 16, p + 1
    elif v[p:p + 2] in (b"0x", b"0X"):
        base, p = 16, p + 2
    digits = v[p:]
    if not digits:
        return None
    ok = b"0123456789abcdefABCDEF" if base == 16 else b"0123456789"
    if any(c not in ok for c in digits):
        return None
    n = int(digits, base)
    n = -n if neg else n
    if n < -2**31 or n > 2**31 - 1:
        return None
    return n


def tag_time(t):
    neg = t.startswith(b"-")
    if neg:
        t = t[1:]
    p = 0
    fields = []
    sep = None
    for _ in range(4):
        q = p
        while q < len(t) and is_digit(t[q]):
            q += 1
        run = t[p:q]
        if q < len(t):
            sep = t[q:q + 1]
        if run:
            fields.append(int(run[-2:]))
        p = q
        if p >= len(t):
            break
        p += 1
    f = fields
    n = len(f)
    if sep == b".":
        ms = {4: lambda: f[0] * 3600000 + f[1] * 60000 + f[2] * 1000 + f[3] * 10,
              3: lambda: f[0] * 60000 + f[1] * 1000 + f[2] * 10,
              2: lambda: f[0] * 1000 + f[1] * 10,
              1: lambda: f[0] * 1000}.get(n, lambda: 0)()
    else:
        ms = {4: lambda: f[0] * 3600000 + f[1] * 60000 + f[2] * 1000,
              3: lambda: f[0] * 3600000 + f[1] * 60000 + f[2] * 1000,
              2: lambda: f[0] * 60000 + f[1] * 1000,
              1: lambda: f[0] * 1000}.get(n, lambda: 0)()
    return -ms if neg else ms


class Parser:
    def __init__(self, text):
        self.S = trim(text)
        self.Len = len(self.S)
        self.info = {"ti": b"", "ar": b"", "al": b"", "by": b"", "la": b"", "offset": 0}
        self.lines = []

    def at(self, p):
        return self.S[p - 1]

    def find(self, ch, frm):
        if frm < 1 or frm > self.Len:
            return 0
        i = self.S.find(ch, frm - 1)
        return 0 if i < 0 else i + 1

    def token(self):
        p = self.pos
        while p <= self.Len and cls(self.at(p)) == "b":
            p += 1
        if p > self.Len:
            return (None, 0, b"")
        c = cls(self.at(p))
        if c == "p":
            self.pos = p + 1
            return ("p", p, self.S[p - 1:p])
        q = p
        while q + 1 < self.Len and cls(self.at(q + 1)) == c:
            q += 1
        self.pos = q + 1
        return (c, p, self.S[p - 1:q])

    def restart(self):
        self.kind = None
        self.text = b""
        self.start = self.find(b"[", self.start + 1)
        if self.start:
            self.pos = self.start + 1

    def try_time(self):
        self.kind = "time"
        if self.at(self.pos) == ord("-"):
            self.text += b"-"
            self.pos += 1

        def digits():
            c, _, t = self.token()
            if c != "d":
                return False
            self.text += t
            return True

        def fraction():
            self.text += b"."
            if not digits():
                self.restart()
                return "restart"
            c, p, t = self.token()
            if c == "p" and t == b"]":
                self.end = p
                return "accept"
            return "continue"

        if not digits():
            self.restart()
            return "restart"
        for depth in range(3):
            c, p, t = self.token()
            if c == "p" and t == b"]":
                self.end = p
                return "accept"
            if c == "p" and t == b".":
                return fraction()
            if c == "p" and t == b":" and depth < 2:
                self.text += b":"
                if not digits():
                    self.restart()
                    return "restart"
                continue
            self.restart()
            return "restart"

    def try_header(self):
        for name in (b"ti", b"ar", b"al", b"by", b"la", b"offset"):
            cand = self.S[self.pos - 1:self.pos - 1 + len(name)]
            if cand.lower() != name or len(cand) != len(name):
                continue
            self.pos += len(name)
            c, _, t = self.token()
            if not (c == "p" and t == b":"):
                return False
            close = self.find(b"]", self.pos)
            if not close:
                return False
            cr = self.find(b"\r", self.pos)
            vend = cr if (cr and cr < close) else close
            value = trim(self.S[self.pos - 1:vend - 1])
            key = name.decode()
            if key == "offset":
                v = read_offset(value)
                if v is not None:
                    self.info["offset"] = v
            else:
                self.info[key] = value
            self.pos = close
            return True
        return False

    def next_tag(self):
        self.restart()
        while self.start and self.Len - self.start >= 5 and self.pos < self.Len:
            c = self.at(self.pos)
            if is_digit(c) or c == ord("-"):
                if self.try_time() == "accept":
                    return True
            elif is_letter(c):
                if self.try_header():
                    return True
                self.restart()
            else:
                self.restart()
        return False

    def flush(self, limit):
        frm = self.prev + 1
        cr = self.find(b"\r", max(self.prev, 1))
        e = cr if (cr and cr < limit) else limit
        text = trim(self.S[frm - 1:e - 1]) if e > frm else b""
        for t in self.pending:
            self.lines.append([tag_time(t), text])
        self.pending = []

    def run(self):
        if self.Len <= 3:
            return self
        self.pos, self.start, self.end, self.prev = 1, 0, 0, 0
        self.pending = []
        self.kind, self.text = None, b""
        while self.next_tag():
            is_time = self.kind == "time"
            if self.pending:
                if is_time and self.start == self.prev + 1:
                    self.pending.append(self.text)
                else:
                    self.flush(self.start)
            if is_time and not self.pending:
                self.pending.append(self.text)
            self.prev = self.end
        if self.pending:
            self.flush(self.Len + 1)
        self.sort()
        nxt = INT_MAX
        out = []
        for t, text in reversed(self.lines):
            out.append({"time": t, "end": nxt - 1, "label": format_label(t), "text": text})
            nxt = t
        self.lines = list(reversed(out))
        return self

    def sort(self):
        a = self.lines
        if not a:
            return

        def qs(L, R):
            while True:
                i, j = L, R
                pivot = a[(L + R) // 2][0]
                while True:
                    while a[i][0] < pivot:
                        i += 1
                    while a[j][0] > pivot:
                        j -= 1
                    if i <= j:
                        a[i], a[j] = a[j], a[i]
                        i += 1
                        j -= 1
                    if i > j:
                        break
                if L < j:
                    qs(L, j)
                L = i
                if i >= R:
                    break
        qs(0, len(a) - 1)


def dump(text):
    p = Parser(text).run()
    raw = lambda b: b.decode("latin-1")
    return {"title": raw(p.info["ti"]), "artist": raw(p.info["ar"]), "album": raw(p.info["al"]),
            "by": raw(p.info["by"]), "la": raw(p.info["la"]), "offset": p.info["offset"],
            "lines": [{"time": l["time"], "end": l["end"], "label": l["label"], "text": raw(l["text"])}
                      for l in p.lines]}
