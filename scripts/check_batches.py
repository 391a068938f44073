#!/usr/bin/env python3
"""Fails when the files of one library could change each other's meaning once compiled in one
batch (CMake's unity build, VDL_UNITY): a file-local function in two files of a folder (an
overload in another file of the batch would silently take calls meant for one's own), a file-local
function of one file named like a function another file defines, a macro a file defines and does
not undefine before its end, a `using namespace` at file scope. Same-named file-local types and
variables need no check: in a batch they fail to compile.

File-local functions: those in an anonymous namespace, `static` ones at namespace scope and every
lf_ one. Platform twins (X_posix.cpp, X_windows.cpp) never share a build and are not compared.

  python3 scripts/check_batches.py               # src/*/ and tools/standins
  python3 scripts/check_batches.py FOLDER...     # those folders
  python3 scripts/check_batches.py --self-test   # the check on made-up folders first, then the tree
"""
import glob
import os
import re
import sys
import tempfile

LIBRARY_FOLDERS = ["src/*", "tools/standins"]

_IDENT = re.compile(r"[A-Za-z_]\w*")
_NUMBER = re.compile(r"\.?\d(?:[eEpP][+-]|[\w.'])*")
_RAW = re.compile(r'(?:u8|u|U|L)?R"([^()\\\s]{0,16})\(')
_DIRECTIVE = re.compile(r"#\s*(define|undef)\s+([A-Za-z_]\w*)")
# Words before a parenthesis that do not name the function being defined.
_NOT_A_NAME = {"decltype", "alignas", "alignof", "sizeof", "noexcept", "requires", "__attribute__",
               "__declspec", "static_assert", "throw"}
_TYPE_KEYS = {"class", "struct", "union", "enum"}


class Unreadable(Exception):
    pass


def lf_tokens(text):
    """(token, line) pairs of C++ text without comments; each literal a single '""' token;
    preprocessor lines as ('#', line, directive text)."""
    out = []
    i, n, line = 0, len(text), 1
    line_start = True
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            line_start = True
            i += 1
        elif c in " \t\r\f\v":
            i += 1
        elif text.startswith("//", i):
            i = text.find("\n", i)
            i = n if i < 0 else i
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            if end < 0:
                raise Unreadable(f"line {line}: a comment that does not end")
            line += text.count("\n", i, end)
            i = end + 2
        elif c == "#" and line_start:
            start, first = i, line
            while i < n and text[i] != "\n":
                if text.startswith("\\\n", i):
                    line += 1
                    i += 2
                elif text.startswith("/*", i):
                    end = text.find("*/", i + 2)
                    i = n if end < 0 else end + 2
                else:
                    i += 1
            out.append(("#", first, text[start:i]))
        else:
            line_start = False
            raw = _RAW.match(text, i)
            if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
                close = ")" + raw.group(1) + '"'
                end = text.find(close, raw.end())
                if end < 0:
                    raise Unreadable(f"line {line}: a raw string that does not end")
                line += text.count("\n", i, end)
                out.append(('""', line))
                i = end + len(close)
            elif c in "\"'":
                j = i + 1
                while j < n and text[j] != c:
                    if text[j] == "\n":
                        raise Unreadable(f"line {line}: a literal that does not end")
                    j += 2 if text[j] == "\\" else 1
                out.append(('""', line))
                i = j + 1
            elif c.isalpha() or c == "_":
                m = _IDENT.match(text, i)
                out.append((m.group(), line))
                i = m.end()
            elif c.isdigit() or (c == "." and i + 1 < n and text[i + 1].isdigit()):
                m = _NUMBER.match(text, i)
                out.append(("0", line))
                i = m.end()
            elif text.startswith("::", i):
                out.append(("::", line))
                i += 2
            else:
                out.append((c, line))
                i += 1
    return out


def lf_function_name(decl):
    """The name a namespace-scope declaration ending in '{' defines as a function, or None;
    with whether it is qualified (Type::member) and whether `static` comes before it."""
    angle = paren = 0
    for k, (tok, _) in enumerate(decl):
        if tok == "=" and paren == 0 and angle == 0:
            return None
        if tok == "operator":
            return None
        if tok == "<" and paren == 0:
            angle += 1
        elif tok == ">" and paren == 0 and angle > 0:
            angle -= 1
        elif tok == "(":
            if paren == 0 and angle == 0 and k > 0:
                name = decl[k - 1][0]
                if _IDENT.fullmatch(name) and name not in _NOT_A_NAME:
                    qualified = k > 1 and decl[k - 2][0] == "::"
                    static = any(t == "static" for t, _ in decl[:k])
                    return name, decl[k - 1][1], qualified, static
            paren += 1
        elif tok == ")":
            paren = max(0, paren - 1)
    return None


def lf_scan_file(path):
    """The file's file-local functions {name: line}, its other namespace-scope functions
    {name: line}, and its problems of its own (a macro left defined, `using namespace`)."""
    with open(path, encoding="utf-8", errors="replace") as f:
        tokens = lf_tokens(f.read())
    local, other, problems = {}, {}, []
    defined = {}
    # Scopes: "ns", "anon", "linkage" are namespace scope; "class", "body" are not; "inner" is a
    # brace inside a namespace-scope declaration (an initialiser, a default argument).
    stack = []
    decl = []
    paren = 0
    for tok in tokens:
        if tok[0] == "#":
            m = _DIRECTIVE.match(tok[2].lstrip())
            if m and m.group(1) == "define":
                defined.setdefault(m.group(2), tok[1])
            elif m:
                defined.pop(m.group(2), None)
            continue
        text, line = tok
        at_namespace = all(s in ("ns", "anon", "linkage") for s in stack)
        if not at_namespace:
            if text == "{":
                stack.append("body")
            elif text == "}":
                # A brace inside a declaration closes and the declaration goes on.
                if stack.pop() != "inner" and all(s in ("ns", "anon", "linkage") for s in stack):
                    decl, paren = [], 0
            continue
        if text == "(":
            paren += 1
        elif text == ")":
            paren = max(0, paren - 1)
        if text == ";" and paren == 0:
            if len(decl) >= 2 and decl[0][0] == "using" and decl[1][0] == "namespace":
                problems.append(f"{path}:{decl[0][1]}: `using namespace` at file scope reaches the "
                                "files after it in a batch")
            decl = []
        elif text == "{":
            words = [t for t, _ in decl]
            if paren > 0:
                stack.append("inner")
            elif "namespace" in words and "=" not in words:
                after = words[words.index("namespace") + 1:]
                stack.append("ns" if after else "anon")
                decl = []
            elif words[:1] == ["extern"] and words[1:] == ['""']:
                stack.append("linkage")
                decl = []
            else:
                fn = lf_function_name(decl)
                if fn:
                    name, fline, qualified, static = fn
                    if not qualified:
                        if "anon" in stack or static or name.startswith("lf_"):
                            local.setdefault(name, fline)
                        else:
                            other.setdefault(name, fline)
                    stack.append("body")
                elif any(w in _TYPE_KEYS for w in words):
                    stack.append("class")
                else:
                    stack.append("inner")
        elif text == "}":
            if not stack:
                raise Unreadable(f"line {line}: a '}}' without its '{{'")
            stack.pop()
            decl, paren = [], 0
        else:
            decl.append(tok)
    if stack:
        raise Unreadable("a '{' that does not close")
    for name, line in sorted(defined.items(), key=lambda d: d[1]):
        problems.append(f"{path}:{line}: macro {name} is not #undef'd before the end of the file: "
                        "it would reach the files after it in a batch")
    return local, other, problems


def lf_twins(a, b):
    """Platform twins: one builds on Linux, the other on Windows, never both."""
    stem = lambda p, s: p[: -len(s)] if p.endswith(s) else None
    return any(stem(x, "_posix.cpp") is not None and stem(y, "_windows.cpp") is not None
               for x, y in ((a, b), (b, a)))


def check_folder(folder):
    """The problems of one library folder, each naming its file(s)."""
    files = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".cpp"))
    scans = {}
    problems = []
    for path in files:
        try:
            scans[path] = lf_scan_file(path)
        except Unreadable as e:
            problems.append(f"{path}: cannot follow the file ({e}): check it by hand or simplify it")
            continue
        problems += scans[path][2]
    # Per name, its file-local definitions and the other files' functions of that name.
    names = {}
    for path, (local, other, _) in scans.items():
        for name, line in local.items():
            names.setdefault(name, ([], []))[0].append((path, line))
        for name, line in other.items():
            names.setdefault(name, ([], []))[1].append((path, line))
    for name, (local, other) in sorted(names.items()):
        clash = set()
        for i, (a, la) in enumerate(local):
            for b, lb in local[i + 1:] + [o for o in other if o[0] != a]:
                if not lf_twins(a, b):
                    clash |= {(a, la), (b, lb)}
        if clash:
            where = ", ".join(f"{p}:{l}" for p, l in sorted(clash))
            problems.append(f"function {name} in more than one file of a batched library, file-local in "
                            f"at least one ({where}): rename the file-local ones apart")
    return problems


def lf_library_folders():
    folders = []
    for pattern in LIBRARY_FOLDERS:
        folders += sorted(d for d in glob.glob(pattern) if os.path.isdir(d))
    return folders


def check(folders):
    problems = []
    for folder in folders:
        problems += check_folder(folder)
    return problems


# Made-up folders: each bad one must fail naming its files, the clean one must pass.
SELF_TEST = {
    "overload": ({"a.cpp": "namespace vdl { namespace {\nint lf_size(int v) { return v; }\n} }\n",
                  "b.cpp": "namespace vdl {\nstatic long lf_size(long v) { return v; }\n}\n",
                  "c.cpp": "namespace vdl {\n// lf_ names are file-local by the house's convention\n"
                           "short lf_size(short v) { return v; }\n}\n"},
                 ["a.cpp:2", "b.cpp:2", "c.cpp:3", "lf_size"]),
    "anonymous": ({"a.cpp": "namespace vdl {\nnamespace {\n\nbool valid(const char* s = {}) { return s; }\n"
                            "}\n}\n",
                   "b.cpp": "namespace vdl::x {\nnamespace {\ntemplate <class T>\nstd::vector<T> valid(T v) {\n"
                            "    return {v};\n}\n}\n}\n"},
                  ["a.cpp:4", "b.cpp:4", "valid"]),
    "capture": ({"a.cpp": "namespace {\nint parse(double v) { return 1; }\n}\n",
                 "b.cpp": "namespace vdl {\nint parse(long v) { return 2; }\n}\n"},
                ["a.cpp:2", "b.cpp:2", "parse"]),
    "macro": ({"a.cpp": "#define LF_TWICE(x) \\\n  ((x) * 2)\n#define KEPT_AWAY 1\nint f() { return 1; }\n"
                        "#undef KEPT_AWAY\n"},
              ["a.cpp:1", "LF_TWICE"]),
    "using": ({"a.cpp": "#include <chrono>\nnamespace vdl {\nusing namespace std::chrono;\n}\n"},
              ["a.cpp:3", "using namespace"]),
    "braces": ({"a.cpp": "namespace vdl {\nvoid f() {\n"},
               ["a.cpp", "cannot follow"]),
    "clean": ({"a.cpp": "#include <string>\n#define ONCE 1\n#undef ONCE\nnamespace vdl {\nnamespace {\n"
                        "struct Item { int lf_member() const { return 1; } };\nint lf_one(int v = {}) { return v; }\n"
                        "const char* text = \"lf_two() { {\";  // lf_three() {\n/* } */\n"
                        "auto lambda = [](int v) { return v; };\nint total = lf_count(1) + Count{2}.value;\n}\n"
                        "int Item2::lf_two() { return 2; }\nbool operator<(Item, Item) { return false; }\n"
                        "void run() {\n    using namespace std::literals;\n    static int count = 0;\n}\n}\n",
               "b.cpp": "namespace vdl {\nnamespace {\nint lf_two(const char* v = R\"x(lf_one(\") {)x\") "
                        "{ return 1'000; }\n}\n"
                        "int total = lf_count(1) + Count{2}.value;\nstruct Item3 { static int lf_one(); };\n"
                        "bool operator<(Item3, Item3) { return true; }\n}\n",
               "dir_posix.cpp": "namespace vdl { namespace { int lf_open() { return 1; } } }\n",
               "dir_windows.cpp": "namespace vdl { namespace { int lf_open() { return 2; } } }\n"},
              []),
}


def self_test():
    failed = []
    with tempfile.TemporaryDirectory() as scratch:
        for name, (files, expected) in SELF_TEST.items():
            folder = os.path.join(scratch, name)
            os.mkdir(folder)
            for file, text in files.items():
                with open(os.path.join(folder, file), "w") as f:
                    f.write(text)
            problems = check([folder])
            if not expected:
                if problems:
                    failed.append(f"{name}: refused a clean folder: {problems}")
            elif len(problems) != 1 or not all(e in problems[0] for e in expected):
                failed.append(f"{name}: expected one problem naming {expected}, got {problems}")
    for f in failed:
        print(f"check_batches self-test: {f}", file=sys.stderr)
    return not failed


def main(args):
    if args[:1] == ["--self-test"]:
        if not self_test():
            return 1
        args = args[1:]
    if not args:
        os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    folders = args or lf_library_folders()
    problems = check(folders)
    for p in problems:
        print(p, file=sys.stderr)
    if problems:
        print(f"batches: {len(problems)} problem(s) that compiling a library in batches would hide",
              file=sys.stderr)
        return 1
    print(f"batches: no file-local function, macro or `using namespace` of a library file reaches "
          f"another file of its batch ({len(folders)} folders)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
