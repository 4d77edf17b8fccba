#!/usr/bin/env python3
"""Checks the Max package of the two plug-ins: help patchers, reference pages
and package-info.json, in the source folder (package/) or a built package.

    package_check.py FOLDER --ports PROGRAM --version VERSION [--built]

PROGRAM prints the inlets and outlets each plug-in creates in the stand-in
host (tests/plugin_ports.cpp); the help patchers' and reference pages' boxes,
inlets and outlets of our objects must match them. With --built the folder
must also hold the externals, a README and a licence. Prints one line per
problem and exits 1 when there is any.
"""
import argparse
import json
import pathlib
import subprocess
import sys
import xml.etree.ElementTree as ET

OBJECTS = ("jit.quarnpack", "jit.quarnopen")
problems = []


def problem(where, text):
    problems.append(f"{where}: {text}")


def object_name(box):
    text = box.get("text", "")
    return text.split()[0] if box.get("maxclass") == "newobj" and text else box.get("maxclass")


def check_patcher(path, ports):
    where = str(path)
    try:
        patcher = json.loads(path.read_text(encoding="utf-8"))["patcher"]
    except (ValueError, KeyError) as e:
        problem(where, f"not a patcher: {e}")
        return
    for key in ("fileversion", "rect", "boxes", "lines"):
        if key not in patcher:
            problem(where, f"no \"{key}\"")
    boxes = {}
    for entry in patcher.get("boxes", []):
        box = entry.get("box", {})
        box_id = box.get("id")
        for key in ("id", "maxclass", "patching_rect", "numinlets", "numoutlets"):
            if key not in box:
                problem(where, f"box {box_id} has no \"{key}\"")
        if box_id in boxes:
            problem(where, f"two boxes are {box_id}")
        boxes[box_id] = box
        outlets = box.get("numoutlets", 0)
        if outlets and len(box.get("outlettype", [])) != outlets:
            problem(where, f"{box_id} has {outlets} outlets but outlet types "
                           f"{box.get('outlettype')}")
        name = object_name(box)
        if name in ports:
            want = ports[name]
            got = (box.get("numinlets"), box.get("outlettype"))
            if got != (want["inlets"], want["outlets"]):
                problem(where, f"{box_id} ({name}) has inlets and outlets {got}; the "
                               f"plug-in makes {(want['inlets'], want['outlets'])}")

    cords = []
    for entry in patcher.get("lines", []):
        line = entry.get("patchline", {})
        try:
            (src, outlet), (dst, inlet) = line["source"], line["destination"]
        except (KeyError, ValueError, TypeError):
            problem(where, f"cord without source and destination: {line}")
            continue
        for box_id, index, count in ((src, outlet, "numoutlets"), (dst, inlet, "numinlets")):
            if box_id not in boxes:
                problem(where, f"cord {line} joins {box_id}, which is not a box")
            elif not (isinstance(index, int) and 0 <= index < boxes[box_id][count]):
                problem(where, f"cord {line}: {box_id} has {boxes[box_id][count]} "
                               f"{count[3:]}, not {index}")
        cords.append((src, outlet, dst, inlet))

    # What the patcher must show: a metro driving the source, the encoder at
    # 0.5 feeding the decoder, a control on each bitrate, the decoded picture,
    # and comments on the embedded stream.
    by_name = {}
    for box_id, box in boxes.items():
        by_name.setdefault(object_name(box), []).append(box_id)
    texts = {box_id: box.get("text", "") for box_id, box in boxes.items()}
    pack = [b for b in by_name.get("jit.quarnpack", []) if "@bitrate 0.5" in texts[b]]
    opens = by_name.get("jit.quarnopen", [])
    feeds = lambda sources, targets, outlet=0: any(
        s in sources and o == outlet and d in targets for s, o, d, _ in cords)
    if not (by_name.get("metro") or by_name.get("qmetro")):
        problem(where, "no metro drives the frames")
    if not (pack and opens and feeds(pack, opens)):
        problem(where, "no jit.quarnpack @bitrate 0.5 feeding jit.quarnopen")
    controls = [b for b, box in boxes.items()
                if (box.get("maxclass") == "attrui" and box.get("attr") == "bitrate")
                or box.get("maxclass") in ("flonum", "number")]
    for name in OBJECTS:
        if not feeds(controls, by_name.get(name, [])):
            problem(where, f"nothing sets the bitrate of {name}")
    if not feeds(opens, by_name.get("jit.pwindow", [])):
        problem(where, "no jit.pwindow shows the decoded picture")
    comments = " ".join(t for b, t in texts.items() if boxes[b].get("maxclass") == "comment")
    for word in ("stream", "coarser"):
        if word not in comments:
            problem(where, f"no comment speaks of the {word}")


def check_refpage(path, ports):
    where = str(path)
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError as e:
        problem(where, f"not XML: {e}")
        return
    name = root.get("name")
    if root.tag != "c74object" or f"{name}.maxref.xml" != path.name:
        problem(where, f"root is <{root.tag} name=\"{name}\">, not the object of its file")
        return
    if name in ports:
        inlets = len(root.findall("./inletlist/inlet"))
        outlets = len(root.findall("./outletlist/outlet"))
        want = ports[name]
        if (inlets, outlets) != (want["inlets"], len(want["outlets"])):
            problem(where, f"lists {inlets} inlets and {outlets} outlets; the plug-in makes "
                           f"{want['inlets']} and {len(want['outlets'])}")
    bitrate = root.find("./attributelist/attribute[@name='bitrate']")
    if bitrate is None:
        problem(where, "no bitrate attribute")
        return
    default = bitrate.find("./attributelist/attribute[@name='default']")
    if bitrate.get("type") != "float64" or default is None or default.get("value") != "0.5":
        problem(where, "bitrate is not a float64 with default 0.5")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder", type=pathlib.Path)
    parser.add_argument("--ports", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--built", action="store_true")
    args = parser.parse_args()
    ports = json.loads(subprocess.run([args.ports], check=True, capture_output=True,
                                      text=True).stdout)
    folder = args.folder

    for name in OBJECTS:
        if name not in ports:
            problem(args.ports, f"reports no {name}")
        help_file = folder / "help" / f"{name}.maxhelp"
        pages = list((folder / "docs" / "refpages").rglob(f"{name}.maxref.xml"))
        if not help_file.is_file():
            problem(help_file, "missing")
        if len(pages) != 1:
            problem(folder / "docs" / "refpages", f"{len(pages)} reference pages of {name}")
    for path in sorted(folder.glob("help/*.maxhelp")):
        check_patcher(path, ports)
    for path in sorted(folder.glob("docs/refpages/**/*.maxref.xml")):
        check_refpage(path, ports)

    info_path = folder / "package-info.json"
    try:
        info = json.loads(info_path.read_text(encoding="utf-8"))
        if info.get("name") != "quarn" or info.get("version") != args.version:
            problem(info_path, f"names {info.get('name')} {info.get('version')}, not quarn "
                               f"{args.version}")
    except (OSError, ValueError) as e:
        problem(info_path, str(e))

    if args.built:
        if folder.name != "quarn":
            problem(folder, "the package folder must be named quarn")
        for name in OBJECTS:
            for suffix in (".mxe64", ".mxe"):
                if not (folder / "externals" / f"{name}{suffix}").is_file():
                    problem(folder / "externals", f"no {name}{suffix}")
        for stem in ("README", "LICENSE"):
            if not list(folder.glob(f"{stem}*")):
                problem(folder, f"no {stem}")

    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
