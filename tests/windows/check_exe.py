#!/usr/bin/python3
"""Checks the built Cuecarry.exe: its resources and how it is linked.

    /usr/bin/python3 tests/windows/check_exe.py PATH/Cuecarry.exe --version 1.0.0.1
                     [--copyright "Copyright (C) ..."] [--ico res/Cuecarry.ico]

The build passes the project's version and copyright line (CMakeLists.txt).

Prints one line per check ("ok   ..." or "FAIL ...: why") and exits with 1
when any check fails, 2 when the file cannot be read as a PE file.

Checks:
  pe-machine     a 64-bit (PE32+) x86-64 image
  subsystem      Windows GUI subsystem (2)
  imports        every imported DLL (also delay-loaded ones) is a system DLL
  icon-group     group 128 exists and is the file's first icon group
  icon-images    exactly 13 images: 48, 32, 24, 16 px at 4 and at 8 bpp,
                 256, 48, 32, 24, 16 px at 32 bpp; each group entry agrees
                 with its image (BMP header or PNG header), the 256-px image
                 is a PNG, the others are BMP
  icon-data      (with --ico) every image is byte for byte the one in the .ico
  version-fixed  one version record (id 1): file and product version
                 --version, file OS VOS_NT_WINDOWS32, file type VFT_APP
  version-strings  one string block 040904B0 with FileDescription "Cuecarry",
                 InternalName and OriginalFilename "Cuecarry.exe", FileVersion
                 and ProductVersion --version, LegalCopyright --copyright (or
                 not empty without it), CompanyName and ProductName not empty;
                 Translation 0x0409, 1200
  manifest       one RT_MANIFEST (24) resource, id 1: well-formed XML, an
                 assemblyIdentity (if any) of version --version,
                 requestedExecutionLevel level "asInvoker" uiAccess "false",
                 dpiAware "true" (and no dpiAwareness that turns it off)

Needs python3-pefile; run it with /usr/bin/python3.
"""

import argparse
import fnmatch
import struct
import sys
import xml.etree.ElementTree as ET

try:
    import pefile
except ImportError:
    sys.stderr.write("check_exe.py: needs pefile (Debian package python3-pefile); "
                     "run it with /usr/bin/python3\n")
    sys.exit(2)

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
ICON_GROUP = 128
EXPECTED_ICONS = sorted([(s, 4) for s in (48, 32, 24, 16)] +
                        [(s, 8) for s in (48, 32, 24, 16)] +
                        [(s, 32) for s in (256, 48, 32, 24, 16)])
VOS_NT_WINDOWS32 = 0x00040004
VFT_APP = 1
IMAGE_FILE_MACHINE_AMD64 = 0x8664
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"

SYSTEM_DLLS = [
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "advapi32.dll", "comctl32.dll", "comdlg32.dll",
    "shlwapi.dll", "msvcrt.dll", "ucrtbase.dll", "ntdll.dll",
    "api-ms-win-crt-*.dll",
]

NS_ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
NS_ASM_V2 = "urn:schemas-microsoft-com:asm.v2"
NS_ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
NS_WS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
NS_WS_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"


class CheckFailed(Exception):
    pass


def require(condition, message):
    if not condition:
        raise CheckFailed(message)


# ---------------------------------------------------------------- resources

def load_resources(pe):
    """{type: {name: [(language, bytes), ...]}}; ids as int, names as str."""
    out = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if root is None:
        return out

    def key(entry):
        return entry.id if entry.name is None else str(entry.name)

    for t in root.entries:
        names = out.setdefault(key(t), {})
        for n in t.directory.entries if hasattr(t, "directory") else []:
            langs = names.setdefault(key(n), [])
            for lang in n.directory.entries if hasattr(n, "directory") else []:
                d = lang.data.struct
                langs.append((lang.id, pe.get_data(d.OffsetToData, d.Size)))
    return out


def single_resource(res, rtype, rname, label):
    names = res.get(rtype, {})
    require(names, "no %s resource" % label)
    require(list(names) == [rname],
            "%s resources %s, expected exactly one with id %s" % (label, sorted(map(str, names)), rname))
    langs = names[rname]
    require(len(langs) == 1, "%s %s exists in %d languages, expected one" % (label, rname, len(langs)))
    return langs[0][1]


# ---------------------------------------------------------------- checks

def check_machine(pe, ctx):
    m = pe.FILE_HEADER.Machine
    require(m == IMAGE_FILE_MACHINE_AMD64, "machine 0x%04x, expected 0x8664 (x86-64)" % m)
    require(pe.OPTIONAL_HEADER.Magic == 0x20B, "not a PE32+ image")
    return "x86-64, PE32+"


def check_subsystem(pe, ctx):
    s = pe.OPTIONAL_HEADER.Subsystem
    require(s == IMAGE_SUBSYSTEM_WINDOWS_GUI, "subsystem %d, expected 2 (Windows GUI)" % s)
    return "Windows GUI (2)"


def imported_dlls(pe):
    dlls = []
    for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(pe, attr, []):
            dlls.append(entry.dll.decode("ascii", "replace"))
    return dlls


def check_imports(pe, ctx):
    dlls = imported_dlls(pe)
    require(dlls, "no imported DLL at all (unreadable import table?)")
    bad = [d for d in dlls if not any(fnmatch.fnmatch(d.lower(), p) for p in SYSTEM_DLLS)]
    require(not bad, "not system DLLs: %s" % ", ".join(bad))
    return ", ".join(sorted(set(d.lower() for d in dlls)))


def check_icon_group(pe, ctx):
    groups = ctx["res"].get(RT_GROUP_ICON, {})
    require(ICON_GROUP in groups, "no icon group %d (groups: %s)" % (ICON_GROUP, sorted(map(str, groups)) or "none"))
    # The shell shows the first group: named ones sort before numbered ones.
    named = [n for n in groups if isinstance(n, str)]
    lower = [n for n in groups if isinstance(n, int) and n < ICON_GROUP]
    require(not named and not lower,
            "group %d is not the first icon group; before it: %s" % (ICON_GROUP, named + sorted(lower)))
    langs = groups[ICON_GROUP]
    require(len(langs) == 1, "icon group %d exists in %d languages" % (ICON_GROUP, len(langs)))
    return "group %d, the first of %d" % (ICON_GROUP, len(groups))


def parse_group(data):
    require(len(data) >= 6, "icon group too short")
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    require(reserved == 0 and kind == 1, "icon group header %d/%d, expected 0/1" % (reserved, kind))
    require(len(data) >= 6 + 14 * count, "icon group holds %d entries but is %d bytes" % (count, len(data)))
    entries = []
    for i in range(count):
        w, h, colours, _, planes, bpp, size, rid = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        entries.append(dict(width=w or 256, height=h or 256, colours=colours,
                            planes=planes, bpp=bpp, size=size, id=rid))
    return entries


def describe_image(image):
    """(width, height, bpp, 'png'|'bmp') read from the image data itself."""
    if image[:8] == PNG_SIGNATURE:
        require(len(image) >= 33 and image[12:16] == b"IHDR", "PNG image without IHDR")
        w, h, depth, colour_type = struct.unpack_from(">IIBB", image, 16)
        channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour_type)
        require(channels is not None, "PNG colour type %d" % colour_type)
        return w, h, depth * channels, "png"
    require(len(image) >= 40, "image of %d bytes, too short for a bitmap header" % len(image))
    size, w, h2, planes, bpp, compression = struct.unpack_from("<IiiHHI", image, 0)
    colours_used = struct.unpack_from("<I", image, 32)[0]
    require(size == 40, "bitmap header size %d, expected 40" % size)
    require(planes == 1, "bitmap planes %d" % planes)
    require(compression == 0, "compressed bitmap (%d)" % compression)
    require(h2 == 2 * w, "bitmap %dx%d: height is not twice the width (image plus mask)" % (w, h2))
    palette = 0
    if bpp <= 8:
        palette = colours_used or (1 << bpp)
        require(palette <= (1 << bpp), "palette of %d for %d bpp" % (palette, bpp))
    xor_row = ((w * bpp + 31) // 32) * 4
    and_row = ((w + 31) // 32) * 4
    need = 40 + 4 * palette + (xor_row + and_row) * w
    require(len(image) >= need, "bitmap %dx%d %d bpp is %d bytes, needs %d" % (w, w, bpp, len(image), need))
    return w, h2 // 2, bpp, "bmp"


def check_icon_images(pe, ctx):
    res = ctx["res"]
    groups = res.get(RT_GROUP_ICON, {})
    require(ICON_GROUP in groups, "no icon group %d" % ICON_GROUP)
    entries = parse_group(groups[ICON_GROUP][0][1])
    icons = res.get(RT_ICON, {})
    found = []
    images = {}
    for e in entries:
        label = "entry %dx%d %d bpp (icon %d)" % (e["width"], e["height"], e["bpp"], e["id"])
        require(e["id"] in icons, "%s: no RT_ICON %d" % (label, e["id"]))
        image = icons[e["id"]][0][1]
        require(len(image) == e["size"], "%s: group says %d bytes, image has %d" % (label, e["size"], len(image)))
        w, h, bpp, kind = describe_image(image)
        require((w, h, bpp) == (e["width"], e["height"], e["bpp"]),
                "%s: the image itself is %dx%d %d bpp" % (label, w, h, bpp))
        require(w == h, "%s: not square" % label)
        require(e["planes"] == 1, "%s: planes %d" % (label, e["planes"]))
        want_colours = 16 if bpp == 4 else 0
        require(e["colours"] == want_colours, "%s: colour count %d, expected %d" % (label, e["colours"], want_colours))
        if w == 256:
            require(kind == "png", "%s: the 256-px image is not stored as PNG" % label)
        else:
            require(kind == "bmp", "%s: stored as %s, expected a bitmap" % (label, kind.upper()))
        found.append((w, bpp))
        images.setdefault((w, bpp), []).append(image)
    require(sorted(found) == EXPECTED_ICONS,
            "images %s, expected %s" % (fmt_icons(found), fmt_icons(EXPECTED_ICONS)))
    ctx["icon_images"] = images
    return "13 images: %s; 256 px as PNG" % fmt_icons(found)


def fmt_icons(items):
    return " ".join("%d/%d" % (w, b) for w, b in sorted(items, key=lambda t: (t[1], -t[0])))


def check_icon_data(pe, ctx):
    images = ctx.get("icon_images")
    require(images is not None, "icon images not readable (see icon-images)")
    data = open(ctx["ico"], "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    require(reserved == 0 and kind == 1, "%s is not an icon file" % ctx["ico"])
    from_file = {}
    for i in range(count):
        w, h, colours, _, planes, bpp, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        image = data[offset:offset + size]
        w2, h2, bpp2, _ = describe_image(image)
        from_file.setdefault((w2, bpp2), []).append(image)
    require(sorted(from_file) == sorted(images),
            "%s holds %s, the program %s" % (ctx["ico"], fmt_icons(from_file), fmt_icons(images)))
    differ = [k for k in images if sorted(images[k]) != sorted(from_file[k])]
    require(not differ, "images differ from %s: %s" % (ctx["ico"], fmt_icons(differ)))
    return "all %d images equal to %s" % (count, ctx["ico"])


# ---------------------------------------------------------------- version record

def parse_version_node(data, offset):
    """One VS_VERSIONINFO-style node: (key, value bytes, value type, children, end)."""
    require(offset + 6 <= len(data), "version record truncated")
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    require(length >= 6 and offset + length <= len(data), "bad node length %d at %d" % (length, offset))
    end = offset + length
    pos = offset + 6
    key_end = pos
    while data[key_end:key_end + 2] != b"\x00\x00":
        key_end += 2
        require(key_end < end, "unterminated key at %d" % offset)
    key = data[pos:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = data[pos:pos + value_bytes]
    pos = (pos + value_bytes + 3) & ~3
    children = []
    while pos < end:
        child = parse_version_node(data, pos)
        children.append(child)
        pos = (child[4] + 3) & ~3
    return key, value, value_type, children, end


def version_record(ctx):
    if "version" not in ctx:
        data = single_resource(ctx["res"], RT_VERSION, 1, "version record")
        ctx["version"] = parse_version_node(data, 0)
    return ctx["version"]


def check_version_fixed(pe, ctx):
    key, value, _, _, _ = version_record(ctx)
    require(key == "VS_VERSION_INFO", "root key %r" % key)
    require(len(value) >= 52, "no fixed file information")
    (signature, _, file_ms, file_ls, prod_ms, prod_ls, _, _, file_os, file_type) = \
        struct.unpack_from("<10I", value, 0)
    require(signature == 0xFEEF04BD, "fixed information signature 0x%08x" % signature)

    def four(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    want = ctx["expected_version"]
    fv, pv = (".".join(map(str, four(ms, ls))) for ms, ls in ((file_ms, file_ls), (prod_ms, prod_ls)))
    require(fv == want, "file version %s, expected %s" % (fv, want))
    require(pv == want, "product version %s, expected %s" % (pv, want))
    require(file_os == VOS_NT_WINDOWS32, "file OS 0x%x, expected VOS_NT_WINDOWS32" % file_os)
    require(file_type == VFT_APP, "file type %d, expected VFT_APP (1)" % file_type)
    return "file and product version %s, VOS_NT_WINDOWS32, VFT_APP" % want


def check_version_strings(pe, ctx):
    _, _, _, children, _ = version_record(ctx)
    by_key = {}
    for child in children:
        require(child[0] not in by_key, "two %s blocks" % child[0])
        by_key[child[0]] = child
    require("StringFileInfo" in by_key, "no StringFileInfo block")
    tables = by_key["StringFileInfo"][3]
    require(len(tables) == 1, "%d string blocks, expected one" % len(tables))
    lang = tables[0][0]
    require(lang.upper() == "040904B0", "string block %r, expected 040904B0" % lang)
    strings = {}
    for name, value, value_type, _, _ in tables[0][3]:
        text = value.decode("utf-16-le") if value_type == 1 else value.decode("latin-1")
        strings[name] = text.rstrip("\x00")
    expected = {
        "FileDescription": "Cuecarry",
        "InternalName": "Cuecarry.exe",
        "OriginalFilename": "Cuecarry.exe",
        "FileVersion": ctx["expected_version"],
        "ProductVersion": ctx["expected_version"],
    }
    if ctx["copyright"] is not None:
        expected["LegalCopyright"] = ctx["copyright"]
    for name, want in expected.items():
        require(strings.get(name) == want, "%s is %r, expected %r" % (name, strings.get(name), want))
    for name in ("CompanyName", "LegalCopyright", "ProductName"):
        require(strings.get(name, "").strip(), "%s missing or empty" % name)
    require("VarFileInfo" in by_key, "no VarFileInfo block")
    translation = [c for c in by_key["VarFileInfo"][3] if c[0] == "Translation"]
    require(len(translation) == 1, "no Translation entry")
    pairs = [struct.unpack_from("<HH", translation[0][1], i) for i in range(0, len(translation[0][1]) - 3, 4)]
    require(pairs == [(0x0409, 1200)], "Translation %s, expected 0x0409 1200" % pairs)
    return "040904B0: " + ", ".join("%s=%r" % (k, strings[k]) for k in sorted(strings))


# ---------------------------------------------------------------- manifest

def check_manifest(pe, ctx):
    data = single_resource(ctx["res"], RT_MANIFEST, 1, "RT_MANIFEST")
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        raise CheckFailed("manifest is not well-formed XML: %s" % e)
    require(root.tag == "{%s}assembly" % NS_ASM_V1, "root element %s" % root.tag)
    require(root.get("manifestVersion") == "1.0", "manifestVersion %r" % root.get("manifestVersion"))

    identity = root.find("{%s}assemblyIdentity" % NS_ASM_V1)
    if identity is not None:
        arch = identity.get("processorArchitecture")
        require(arch in (None, "amd64", "*"),
                "assemblyIdentity processorArchitecture %r does not fit an x86-64 program" % arch)
        version = identity.get("version")
        require(version == ctx["expected_version"],
                "assemblyIdentity version %r, expected %r" % (version, ctx["expected_version"]))

    levels = []
    for ns in (NS_ASM_V2, NS_ASM_V3):
        path = "/".join("{%s}%s" % (ns, p) for p in
                        ("trustInfo", "security", "requestedPrivileges", "requestedExecutionLevel"))
        levels += root.findall(path)
    require(len(levels) == 1, "%d requestedExecutionLevel elements, expected one" % len(levels))
    level, ui_access = levels[0].get("level"), levels[0].get("uiAccess")
    require(level == "asInvoker", "execution level %r, expected 'asInvoker'" % level)
    require(ui_access == "false", "uiAccess %r, expected 'false'" % ui_access)

    settings = root.findall("{%s}application/{%s}windowsSettings" % (NS_ASM_V3, NS_ASM_V3))
    aware = [e for s in settings for e in s.findall("{%s}dpiAware" % NS_WS_2005)]
    require(len(aware) == 1, "%d dpiAware elements (windowsSettings, 2005 namespace), expected one" % len(aware))
    text = (aware[0].text or "").strip()
    require(text.lower() == "true", "dpiAware %r, expected 'true'" % text)
    # On newer Windows a dpiAwareness element takes precedence over dpiAware.
    for s in settings:
        for e in s.findall("{%s}dpiAwareness" % NS_WS_2016):
            first = ((e.text or "").split(",")[0]).strip().lower()
            require(first in ("system", "permonitor", "permonitorv2"),
                    "dpiAwareness %r overrides dpiAware" % e.text)
    return "asInvoker, uiAccess false, dpiAware true"


# ---------------------------------------------------------------- main

CHECKS = [
    ("pe-machine", check_machine),
    ("subsystem", check_subsystem),
    ("imports", check_imports),
    ("icon-group", check_icon_group),
    ("icon-images", check_icon_images),
    ("icon-data", check_icon_data),
    ("version-fixed", check_version_fixed),
    ("version-strings", check_version_strings),
    ("manifest", check_manifest),
]


def main(argv):
    parser = argparse.ArgumentParser(prog="check_exe.py", description="Checks the built Cuecarry.exe.")
    parser.add_argument("exe", help="the program to check")
    parser.add_argument("--version", required=True, help="the expected version, four numbers: 1.0.0.1")
    parser.add_argument("--copyright", help="the expected LegalCopyright text")
    parser.add_argument("--ico", help="the icon file whose images the program must hold")
    args = parser.parse_args(argv[1:])
    path, ico = args.exe, args.ico
    try:
        pe = pefile.PE(path, fast_load=True)
        pe.parse_data_directories(directories=[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"],
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"],
        ])
    except (OSError, pefile.PEFormatError) as e:
        sys.stderr.write("check_exe.py: %s: %s\n" % (path, e))
        return 2

    ctx = {"res": load_resources(pe), "ico": ico,
           "expected_version": args.version, "copyright": args.copyright}
    print("checking %s" % path)
    failures = 0
    for name, check in CHECKS:
        if name == "icon-data" and ico is None:
            continue
        try:
            detail = check(pe, ctx)
            print("ok   %-16s %s" % (name, detail))
        except CheckFailed as e:
            failures += 1
            print("FAIL %-16s %s" % (name, e))
        except (struct.error, UnicodeDecodeError, IndexError) as e:
            failures += 1
            print("FAIL %-16s unreadable: %s" % (name, e))
    print("%d of %d checks failed" % (failures, len(CHECKS) - (ico is None)) if failures
          else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
