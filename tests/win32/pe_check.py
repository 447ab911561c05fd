#!/usr/bin/env python3
"""What the build's Windows files promise, read with objdump and without running them, so it is
checked on every machine, also where Wine cannot run this bitness:

- QiwaMusic.exe is a GUI program of the build's bitness (PE32 i386 / PE32+ x86-64) that imports, at
  start or on first use (delay-loaded), only DLLs every Windows 7 has;
- the skin library is of the same bitness, exports "SkinH_AttachRes" undecorated and, on 32-bit,
  returns with the stdcall clean-up of its six arguments (ret $0x18), as the program's binding calls it;
  it is small, without the C++ runtime;
- the exe embeds exactly that library.

    pe_check.py OBJDUMP ARCH BUILD_DIR       (ARCH: win32 or win64)
"""
import os
import re
import subprocess
import sys
import unittest

# DLLs of every Windows from 7 on; anything else (libstdc++-6.dll, libwinpthread-1.dll, ...) is a
# runtime the user would have to install.
SYSTEM_DLLS = {"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msacm32.dll",
               "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
               "uxtheme.dll", "winhttp.dll", "winmm.dll", "windowscodecs.dll", "dwmapi.dll"}
# Names of DLLs the exe may hold besides those: its own skin library's, under the names it writes and
# looks for, and the one the static unwinder probes for with GetModuleHandle (never loads).
OWN_DLLS = {"pf.dll", "skinh_el.dll", "qiwaskin.dll", "libgcc_s_dw2-1.dll", "libgcc_s_seh-1.dll"}
EXPECTED = {
    "win32": {"format": "pei-i386", "magic": "PE32", "architecture": "i386"},
    "win64": {"format": "pei-x86-64", "magic": "PE32+", "architecture": "i386:x86-64"},
}
ENTRY = "SkinH_AttachRes"

OBJDUMP, ARCH, BUILD = None, None, None


def objdump(*args):
    return subprocess.run([OBJDUMP, *args], check=True, capture_output=True, text=True).stdout


def headers(path):
    """format, magic, architecture, subsystem, image base, DLL names, export names and RVAs."""
    p = objdump("-p", "-f", path)
    exports = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", p.split("[Ordinal/Name Pointer] Table")[-1], re.M) \
        if "[Ordinal/Name Pointer] Table" in p else []
    return {
        "format": re.search(r"file format (\S+)", p).group(1),
        "magic": re.search(r"^Magic\s+\S+\s+\((\S+)\)", p, re.M).group(1),
        "architecture": re.search(r"^architecture: ([^,]+),", p, re.M).group(1),
        "subsystem": int(re.search(r"^Subsystem\s+([0-9a-fA-F]+)", p, re.M).group(1), 16),
        "image_base": int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", p, re.M).group(1), 16),
        "dlls": [d.strip() for d in re.findall(r"DLL Name: (.+)", p)],
        "exports": exports,
        "export_rvas": [int(x, 16) for x in re.findall(r"\+base\[\s*\d+\]\s+([0-9a-fA-F]+) Export RVA", p)],
    }


class PeFiles(unittest.TestCase):
    def setUp(self):
        self.exe = os.path.join(BUILD, "QiwaMusic.exe")
        self.skin = os.path.join(BUILD, "skin", "QiwaSkin.dll")
        self.want = EXPECTED[ARCH]

    def assert_bitness(self, h):
        for key in ("format", "magic", "architecture"):
            self.assertEqual(h[key], self.want[key], key)

    def test_program_is_a_gui_exe_of_this_bitness_importing_system_dlls_only(self):
        h = headers(self.exe)
        self.assert_bitness(h)
        self.assertEqual(h["subsystem"], 2, "Windows GUI subsystem")
        self.assertTrue(h["dlls"])
        self.assertEqual([d for d in h["dlls"] if d.lower() not in SYSTEM_DLLS], [], "non-system imports")
        print(f"{os.path.relpath(self.exe)}: {h['magic']} {h['architecture']}, {os.path.getsize(self.exe)} bytes, "
              f"imports {', '.join(h['dlls'])}")

    def test_every_dll_the_program_names_ships_with_windows(self):
        """Delay-loaded DLLs are named only in the program's data, not in its import table."""
        with open(self.exe, "rb") as f:
            named = {m.decode().lower() for m in re.findall(rb"[A-Za-z0-9_-]+\.[dD][lL][lL](?=\x00)", f.read())}
        self.assertEqual(sorted(named - SYSTEM_DLLS - OWN_DLLS), [], "DLLs that do not ship with Windows")
        for delayed in ("winhttp.dll", "winmm.dll", "msacm32.dll", "ole32.dll", "shell32.dll"):
            self.assertIn(delayed, named)

    def test_every_delay_loaded_function_has_its_loader_in_its_slot(self):
        """A delay-load slot holds the address of the code that loads the DLL: a zero there is a crash
        at the first call (as when the linker drops the thunk of a function called through dllimport)."""
        with open(os.path.join(BUILD, "QiwaMusic.map")) as f:
            slots = re.findall(r"^ \.idata\$5\s+0x([0-9a-f]+)\s+0x[0-9a-f]+ \S*libqiwa_delay_\w+\.a\(\S+\)\n"
                               r"\s+0x[0-9a-f]+\s+_{1,2}imp_(\S+)$", f.read(), re.M)
        self.assertTrue(slots, "no delay-loaded function in the link map")
        words = section_words(self.exe, ".idata", 8 if ARCH == "win64" else 4)
        empty = [name for address, name in slots if words.get(int(address, 16)) == 0]
        self.assertEqual(empty, [], "delay-load slots without their loader")

    def test_skin_library_exports_the_entry_point_the_program_binds(self):
        h = headers(self.skin)
        self.assert_bitness(h)
        self.assertEqual(h["exports"], [ENTRY], "exactly one export, undecorated")
        if ARCH == "win32":
            self.assertEqual(first_return(self.skin, h["image_base"] + h["export_rvas"][0]), "ret $0x18",
                             "stdcall: the entry point pops its six 4-byte arguments")

    def test_skin_library_carries_no_cpp_runtime(self):
        # About 31 KiB of its own; a guarded local static or a throw pulls in the C++ runtime's exception
        # support (about 110 KiB more), which the program then embeds and writes at every start.
        size = os.path.getsize(self.skin)
        self.assertLess(size, 64 * 1024, f"{os.path.relpath(self.skin)} is {size} bytes")

    def test_program_embeds_this_skin_library(self):
        with open(self.skin, "rb") as f:
            image = f.read()
        with open(self.exe, "rb") as f:
            self.assertIn(image, f.read())


def section_words(path, section, width):
    """Address -> little-endian value of every `width`-byte word of a section, as objdump -s dumps it."""
    data, start = bytearray(), None
    for line in objdump("-s", "-j", section, path).splitlines():
        m = re.match(r"^ ([0-9a-f]+) ((?:[0-9a-f]{2,8} ?){1,4})", line)
        if m:
            start = int(m.group(1), 16) if start is None else start
            data += bytes.fromhex(m.group(2).replace(" ", ""))
    return {start + i: int.from_bytes(data[i:i + width], "little") for i in range(0, len(data) - width + 1, width)}


def first_return(path, address):
    """The first return instruction at or after `address`, as objdump writes it."""
    text = objdump("-d", "--no-show-raw-insn", f"--start-address={address:#x}", f"--stop-address={address + 4096:#x}",
                   path)
    for line in text.splitlines():
        m = re.match(r"\s*[0-9a-f]+:\s+(ret\S*.*)$", line)
        if m:
            return re.sub(r"\s+", " ", m.group(1).strip()).replace("retl", "ret")
    return None


if __name__ == "__main__":
    OBJDUMP, ARCH, BUILD = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
