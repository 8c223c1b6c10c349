#!/usr/bin/env python3
"""Writes the documents that parse_bench reads, each in XML, binary and old-style text:
typical.*  an application's Info.plist of a few KB
big.*      about 16 MB of XML: a dictionary of records with mixed values
Usage: generate_documents.py OUTPUT_DIR"""

import datetime
import os
import plistlib
import random
import sys


def typical():
    doc_type = lambda name, exts, role: {
        "CFBundleTypeName": name,
        "CFBundleTypeRole": role,
        "CFBundleTypeExtensions": exts,
        "CFBundleTypeIconFile": name.replace(" ", "") + ".icns",
        "LSHandlerRank": "Owner",
        "LSItemContentTypes": ["com.example.editor." + e for e in exts],
        "NSDocumentClass": "Document",
    }
    uti = lambda ident, desc, exts: {
        "UTTypeIdentifier": ident,
        "UTTypeDescription": desc,
        "UTTypeConformsTo": ["public.data", "public.content"],
        "UTTypeTagSpecification": {"public.filename-extension": exts, "public.mime-type": "application/x-" + exts[0]},
    }
    return {
        "BuildMachineOSBuild": "23A344",
        "CFBundleDevelopmentRegion": "en",
        "CFBundleDisplayName": "Example Editor",
        "CFBundleDocumentTypes": [
            doc_type("Example Document", ["exd", "exdoc"], "Editor"),
            doc_type("Example Template", ["ext"], "Editor"),
            doc_type("Plain Text", ["txt", "text"], "Viewer"),
        ],
        "CFBundleExecutable": "Example Editor",
        "CFBundleIconFile": "AppIcon",
        "CFBundleIconName": "AppIcon",
        "CFBundleIdentifier": "com.example.editor",
        "CFBundleInfoDictionaryVersion": "6.0",
        "CFBundleName": "Example Editor",
        "CFBundlePackageType": "APPL",
        "CFBundleShortVersionString": "3.2.1",
        "CFBundleSignature": "EXED",
        "CFBundleSupportedPlatforms": ["MacOSX"],
        "CFBundleURLTypes": [{"CFBundleURLName": "com.example.editor.open", "CFBundleURLSchemes": ["example-editor"]}],
        "CFBundleVersion": "3210",
        "DTCompiler": "com.apple.compilers.llvm.clang.1_0",
        "DTPlatformBuild": "",
        "DTPlatformName": "macosx",
        "DTPlatformVersion": "14.0",
        "DTSDKBuild": "23A334",
        "DTSDKName": "macosx14.0",
        "DTXcode": "1500",
        "DTXcodeBuild": "15A240d",
        "ITSAppUsesNonExemptEncryption": False,
        "LSApplicationCategoryType": "public.app-category.productivity",
        "LSMinimumSystemVersion": "11.0",
        "NSAppTransportSecurity": {"NSAllowsArbitraryLoads": False},
        "NSAppleEventsUsageDescription": "Example Editor sends Apple events to run your scripts.",
        "NSHighResolutionCapable": True,
        "NSHumanReadableCopyright": "Copyright © 2024 Example Ltd. All rights reserved.",
        "NSMainNibFile": "MainMenu",
        "NSPrincipalClass": "NSApplication",
        "NSServices": [
            {
                "NSMenuItem": {"default": "Open Selection in Example Editor"},
                "NSMessage": "openSelection",
                "NSPortName": "Example Editor",
                "NSSendTypes": ["NSStringPboardType", "public.plain-text"],
            }
        ],
        "NSSupportsAutomaticGraphicsSwitching": True,
        "SUEnableAutomaticChecks": True,
        "SUFeedURL": "https://updates.example.com/editor/appcast.xml",
        "SUScheduledCheckInterval": 86400,
        "UTExportedTypeDeclarations": [
            uti("com.example.editor.exd", "Example Document", ["exd", "exdoc"]),
            uti("com.example.editor.ext", "Example Template", ["ext"]),
        ],
    }


def big(target_bytes):
    rng = random.Random(2001)
    words = ["alpha", "beta", "gamma", "delta", "bundle", "version", "identifier", "résumé", "naïve", "Straße",
             "東京", "file", "document", "editor", "viewer", "symbol", "&amp", "<tag>", "quote\"d"]
    records = {}
    estimated = 0
    i = 0
    while estimated < target_bytes:
        text = " ".join(rng.choice(words) for _ in range(rng.randint(1, 12)))
        record = {
            "name": "record-%06d" % i,
            "title": text,
            "count": rng.randint(-2**40, 2**40),
            "small": rng.randint(0, 255),
            "ratio": rng.random() * 1000,
            "enabled": rng.random() < 0.5,
            "created": datetime.datetime(2001, 1, 1) + datetime.timedelta(seconds=rng.randint(0, 10**9)),
            "payload": bytes(rng.getrandbits(8) for _ in range(rng.randint(0, 48))),
            "tags": ["tag%d" % rng.randint(0, 999) for _ in range(rng.randint(0, 6))],
            "nested": {"level": rng.randint(0, 9), "path": "/Applications/%s.app" % rng.choice(words)},
        }
        records["key-%06d" % i] = record
        estimated += 900 + len(text) + 2 * len(record["payload"])
        i += 1
    return {"records": records, "count": i, "generator": "ostrel bench"}


def quote(text):
    out = []
    for ch in text:
        if ch in '"\\':
            out.append("\\" + ch)
        elif ch == "\n":
            out.append("\\n")
        elif ord(ch) < 0x20:
            out.append("\\%03o" % ord(ch))
        else:
            out.append(ch)
    return '"' + "".join(out) + '"'


def old_style(value, indent=0):
    """The old text form: it has no numbers, booleans or dates, so those become strings."""
    pad = "\t" * (indent + 1)
    if isinstance(value, dict):
        if not value:
            return "{}"
        items = ["%s%s = %s;\n" % (pad, quote(k), old_style(v, indent + 1)) for k, v in value.items()]
        return "{\n" + "".join(items) + "\t" * indent + "}"
    if isinstance(value, list):
        if not value:
            return "()"
        return "(\n" + ",\n".join(pad + old_style(v, indent + 1) for v in value) + "\n" + "\t" * indent + ")"
    if isinstance(value, bytes):
        return "<" + value.hex() + ">"
    if isinstance(value, bool):
        return "YES" if value else "NO"
    if isinstance(value, datetime.datetime):
        return quote(value.strftime("%Y-%m-%d %H:%M:%S +0000"))
    if isinstance(value, (int, float)):
        return quote(repr(value))
    return quote(value)


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for name, value in (("typical", typical()), ("big", big(20 * 1024 * 1024))):
        with open(os.path.join(out_dir, name + ".xml.plist"), "wb") as f:
            f.write(plistlib.dumps(value, fmt=plistlib.FMT_XML, sort_keys=False))
        with open(os.path.join(out_dir, name + ".bplist"), "wb") as f:
            f.write(plistlib.dumps(value, fmt=plistlib.FMT_BINARY, sort_keys=False))
        with open(os.path.join(out_dir, name + ".oldstyle.plist"), "wb") as f:
            f.write((old_style(value) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main()
