#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes an update package: a zip file with update.xml and the payload.

  quimbo-updategen.py OUT.zip --version 3.6.0 --minimum-version 3.4.0 \\
      --firmware build/quimbo-basic /root/quimbo/bin/quimbo-basic 3.6.0 \\
      --file settings.ini /root/quimbo \\
      --dir prompts/eng voices/eng/ /root/quimbo/messages/eng \\
      --sign keys/update.key

  quimbo-updategen.py --keygen keys    writes keys/update.key and keys/update.pub

Payload hrefs: firmware/<name>, plugins/<name>, data/<name>, and for --dir the
given href followed by each file's path below the source folder. --entry adds
an entry under any name (also names a device must refuse), --xml replaces the
generated update.xml, --no-xml leaves it out, --store keeps entries
uncompressed.

--sign adds "update.sha256" (the SHA-256 of update.xml and of every other
entry, one "HEX  NAME" line each, as sha256sum writes them) and "update.sig"
(the 64-byte Ed25519 signature of that list). A device holding the matching
public key in /root/quimbo/keys/update.pub installs only packages signed so.
Keys are PEM files: PKCS#8 private key, SubjectPublicKeyInfo public key."""
import argparse
import hashlib
import os
import re
import sys
import zipfile
from xml.sax.saxutils import quoteattr

MANIFEST = "update.sha256"
SIGNATURE = "update.sig"


def crypto():
    try:
        from cryptography.hazmat.primitives import serialization
        from cryptography.hazmat.primitives.asymmetric import ed25519
    except ImportError:
        sys.exit("quimbo-updategen: signing needs python3-cryptography (apt-get install python3-cryptography)")
    return serialization, ed25519


def keygen(folder):
    serialization, ed25519 = crypto()
    os.makedirs(folder, exist_ok=True)
    private_path = os.path.join(folder, "update.key")
    public_path = os.path.join(folder, "update.pub")
    key = ed25519.Ed25519PrivateKey.generate()
    private_pem = key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                    serialization.NoEncryption())
    public_pem = key.public_key().public_bytes(serialization.Encoding.PEM,
                                               serialization.PublicFormat.SubjectPublicKeyInfo)
    # Never replace a key: packages signed with it would no longer install on devices that trust it.
    try:
        fd = os.open(private_path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    except FileExistsError:
        sys.exit("quimbo-updategen: %s exists; not replacing a signing key" % private_path)
    with os.fdopen(fd, "wb") as f:
        f.write(private_pem)
    with open(public_path, "wb") as f:
        f.write(public_pem)
    print("private key: %s (keep it off the devices)\npublic key: %s (install as /root/quimbo/keys/update.pub)"
          % (private_path, public_path))
    return 0


def load_signing_key(path):
    serialization, ed25519 = crypto()
    try:
        with open(path, "rb") as f:
            key = serialization.load_pem_private_key(f.read(), password=None)
    except (OSError, ValueError, TypeError) as e:
        sys.exit("quimbo-updategen: cannot read the signing key %s: %s" % (path, e))
    if not isinstance(key, ed25519.Ed25519PrivateKey):
        sys.exit("quimbo-updategen: %s is not an Ed25519 private key" % path)
    return key


def source_version():
    """The version in the project() line of the top-level CMakeLists.txt, its one written place."""
    top = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "CMakeLists.txt")
    with open(top, encoding="utf-8") as f:
        m = re.search(r"project\(\s*\w+\s+VERSION\s+([0-9.]+)", f.read())
    if not m:
        sys.exit("no project(VERSION ...) in " + top)
    return m.group(1)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("output", nargs="?")
    ap.add_argument("--keygen", metavar="DIR", help="write a new key pair DIR/update.key and DIR/update.pub, and stop")
    ap.add_argument("--sign", metavar="KEY", help="sign the package with this private key (update.key)")
    ap.add_argument("--target", default="quimbo-basic", help="application name of the product")
    ap.add_argument("--minimum-version", default=None,
                    help="oldest device version that may install it (default: the version of this source tree)")
    ap.add_argument("--version", default=None, help="version of the package (default: the version of this source tree)")
    ap.add_argument("--firmware", nargs=3, metavar=("SRC", "DEST", "VERSION"))
    ap.add_argument("--reinstall", action="store_true",
                    help='reinstall="true": the device takes a firmware of the version it already runs')
    ap.add_argument("--plugin", nargs=2, action="append", default=[], metavar=("SRC", "DEST_DIR"))
    ap.add_argument("--file", nargs=2, action="append", default=[], metavar=("SRC", "DEST_DIR"))
    ap.add_argument("--dir", nargs=3, action="append", default=[], metavar=("SRC_DIR", "HREF", "DEST_DIR"))
    ap.add_argument("--entry", nargs=2, action="append", default=[], metavar=("NAME", "SRC"))
    ap.add_argument("--xml", help="use this update.xml as it is")
    ap.add_argument("--no-xml", action="store_true")
    ap.add_argument("--store", action="store_true", help="store entries uncompressed")
    args = ap.parse_args()
    if args.minimum_version is None:
        args.minimum_version = source_version()
    if args.version is None:
        args.version = source_version()

    if args.keygen:
        return keygen(args.keygen)
    if not args.output:
        ap.error("the output zip file is required")
    signing_key = load_signing_key(args.sign) if args.sign else None

    entries = []  # (name, source file)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             "<kalUpdate version=%s>" % quoteattr(args.version),
             "  <target id=%s minimumVersion=%s/>" % (quoteattr(args.target), quoteattr(args.minimum_version))]
    if args.firmware:
        src, dest, version = args.firmware
        href = "firmware/" + os.path.basename(src)
        entries.append((href, src))
        lines.append("  <firmware href=%s dest=%s version=%s%s/>" % (quoteattr(href), quoteattr(dest), quoteattr(version),
                                                                 ' reinstall="true"' if args.reinstall else ""))
    if args.plugin:
        lines.append("  <plugins>")
        for src, dest in args.plugin:
            href = "plugins/" + os.path.basename(src)
            entries.append((href, src))
            lines.append("    <plugin href=%s dest=%s/>" % (quoteattr(href), quoteattr(dest)))
        lines.append("  </plugins>")
    if args.file or args.dir:
        lines.append("  <datapackages>")
        for src, dest in args.file:
            href = "data/" + os.path.basename(src)
            entries.append((href, src))
            lines.append('    <packages type="file" href=%s dest=%s/>' % (quoteattr(href), quoteattr(dest)))
        for src, href, dest in args.dir:
            for folder, _, names in sorted(os.walk(src)):
                for name in sorted(names):
                    path = os.path.join(folder, name)
                    entries.append((href + os.path.relpath(path, src).replace(os.sep, "/"), path))
            lines.append('    <packages type="dir" href=%s dest=%s/>' % (quoteattr(href), quoteattr(dest)))
        lines.append("  </datapackages>")
    lines.append("</kalUpdate>")
    entries += [tuple(e) for e in args.entry]

    contents = []  # (name, bytes, executable)
    if args.xml:
        with open(args.xml, "rb") as f:
            contents.append(("update.xml", f.read(), False))
    elif not args.no_xml:
        contents.append(("update.xml", ("\n".join(lines) + "\n").encode("utf-8"), False))
    for name, src in entries:
        with open(src, "rb") as f:
            contents.append((name, f.read(), os.access(src, os.X_OK)))

    if signing_key:
        if any("\n" in name or "\r" in name for name, _, _ in contents):
            sys.exit("quimbo-updategen: an entry name with a line break cannot be signed")
        manifest = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data, _ in contents).encode("utf-8")
        contents.append((MANIFEST, manifest, False))
        contents.append((SIGNATURE, signing_key.sign(manifest), False))

    compression = zipfile.ZIP_STORED if args.store else zipfile.ZIP_DEFLATED
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with zipfile.ZipFile(args.output, "w", compression) as z:
        for name, data, executable in contents:
            info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            info.external_attr = (0o100755 if executable else 0o100644) << 16
            info.compress_type = compression
            z.writestr(info, data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
