#!/usr/bin/env python3
"""Makes a delay-import library for a system DLL from the toolchain's own import library: the DLL
then loads the first time one of its functions is called, not when the program starts.

    delay-import.py NM DLLTOOL MACHINE IMPORT_LIB DLL_NAME OUT_LIB
"""
import os
import re
import subprocess
import sys
import tempfile


def main(nm, dlltool, machine, import_lib, dll, out):
    symbols = subprocess.run([nm, import_lib], check=True, capture_output=True, text=True).stdout
    i386 = machine == "i386"
    # The import thunks: "_Name@8" on 32-bit (stdcall), "Name" on 64-bit.
    names = sorted({m.group(1) for m in re.finditer(r"^[0-9a-f]+ T (\S+)$", symbols, re.M)
                    if not m.group(1).startswith(("__", ".", "_head", "_nm"))})
    exports = [n[1:] if i386 and n.startswith("_") else n for n in names]
    with tempfile.NamedTemporaryFile("w", suffix=".def", delete=False) as f:
        f.write(f"LIBRARY {dll}\nEXPORTS\n" + "".join(e + "\n" for e in exports))
        definition = f.name
    try:
        subprocess.run([dlltool, "-m", machine, "-k", "-d", definition, "-y", out], check=True)
    finally:
        os.remove(definition)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
