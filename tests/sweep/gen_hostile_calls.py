#!/usr/bin/env python3
"""Generates the hostile-argument calls from the public headers: for every exported
declaration, one call with plain arguments, then each argument in turn at hostile
values with the others plain. Integers: INT32_MIN, -1, 0, 1, 63, 64, 10001,
INT32_MAX; pointers: null; texts: null, empty, 5000 characters; reals: NaN, both
infinities, -1e30. Where a host buffer's size follows from the arguments (a caller
contract the engine cannot check), every pointer of the call is null once an
integer is at INT32_MIN or INT32_MAX; the smaller values fit the sweep's buffers.

  gen_hostile_calls.py OUT.inc HEADER...
"""
import re
import sys

INTS = ["INT32_MIN", "-1", "0", "1", "63", "64", "10001", "INT32_MAX"]
HUGE = {"INT32_MIN", "INT32_MAX"}
REALS = ["kNaN", "kInf", "-kInf", "-1e30f"]
TEXTS = ["nullptr", '""', "c.long_text"]

# Exports that may change the canvas, its layers, the mask or the undo counts when
# their arguments are valid. Every other export must leave all of them as they were.
MUTATORS = re.compile(r"""^QRN_(
    CreateImage | NewSize | DeleteImage | IPLExit |
    CreateLayer | DeleteLayer | SwapLayers | SetLayer | CreatePaintLayer | ClearPaintLayer |
    DeletePaintLayer | CreateTexture | DeleteTexture |
    SetLayerAlpha | NormalizeLayerAlpha | InvertAlpha | SetColorAlpha |
    SetAlphaFromRGBAImageColor | BlurPaintLayerAlpha | CreateBlobFromImage |
    Load | LoadRGB24 | LoadRGB24ToAlpha | LoadRGBA32.* | SetRGBA64Layer | SetLayerData |
    CopyLayerData | Clear | ClearMasked | ClearMaskedAlpha | SetPixelRGB24 |
    MergeLayer.* | MergePaintLayer |
    SaveUndoBuffer | SaveUndoBackBuffer | Undo | Redo | ClearUndo | SetUndoLevels |
    SetUndoMB | ReduceUndo |
    DrawDabGrit | DrawDabGritMask | PutRGBA32LayerLineRLE | PutMaskLineRLE |
    ClearMask | InvertMask | LoadMask | CreateImageFromMask | CreateAlphaFromMask |
    CreateMaskFrom.* | ReplaceFromRGBAImageAlphaRange |
    SetInNewRGBA
)$""", re.X)

# Arguments whose largest values make the engine allocate and clear gigabytes
# (the brush buffers follow the maximum brush size, capped at 10000): seconds a
# call, so sanitized builds leave these few calls to the plain build's sweep.
SLOW = {("QRN_CreateImage", "maxBrushSize"), ("QRN_NewSize", "maxBrushSize")}
SLOW_VALUES = {"10001", "INT32_MAX"}

# Pointers whose plain value is not a buffer: window handles are opaque and
# blocks to free must come from the engine's own allocator.
PLAIN_POINTER = {("QRN_CreateImage", "hostWindow"): "nullptr",
                 ("QRN_NewSize", "hostWindow"): "nullptr",
                 ("QRN_Free", "block"): "QRN_Alloc(16)"}


def plain_int(name):
    n = name.lower()
    if n in ("slot", "layer", "sourcelayer", "slota"):
        return "2"
    if n in ("destinationlayer", "slotb"):
        return "3"
    if "stride" in n:
        return "128"
    if n in ("width", "height", "sourcewidth", "newwidth", "newheight", "maxwidth",
             "maxheight", "w", "h"):
        return "8"
    if n in ("x", "y", "row"):
        return "2"
    if n in ("count", "len", "length", "capacity", "size", "maxbrushsize"):
        return "16"
    if re.match(r"^(red|green|blue|alpha)", n) or re.fullmatch(r"[rgba]\d?", n):
        return "128"
    if n in ("percent", "opacitypercent", "strength", "amount", "level", "range", "density"):
        return "50"
    return "1"


def plain_text(func, name):
    n = name.lower()
    if n == "extension":
        return '".png"'
    if n in ("mergemodename", "mode"):
        return '"Multiply"'
    if n == "newpath":
        return '"renamed.bmp"'
    if n == "dstpath" or (n == "path" and re.search(r"Write|Save", func)):
        return '"out.png"'
    if "path" in n or n == "gritsource":
        return '"in.bmp"'
    return '"sweep"'


def parse(headers):
    text = ""
    for h in headers:
        text += open(h).read()
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    text = re.sub(r"//[^\n]*", "", text)
    for ret, name, params in re.findall(
            r"QRN_API\s+(.+?)\s+QRN_CALL\s+(\w+)\s*\((.*?)\)\s*;", text, flags=re.S):
        params = " ".join(params.split())
        args = []
        if params not in ("", "void"):
            for p in params.split(","):
                m = re.match(r"(.*?)\s*(\w+)$", p.strip())
                args.append((" ".join(m.group(1).split()), m.group(2)))
        yield name, args


def kind(ctype):
    if ctype in ("const char*",):
        return "text"
    if ctype.endswith("*"):
        return "pointer"
    if ctype in ("float", "double"):
        return "real"
    return "int"


def plain(func, args):
    values, buffer = [], 0
    for ctype, name in args:
        k = kind(ctype)
        if k == "text":
            values.append(plain_text(func, name))
        elif k == "pointer":
            special = PLAIN_POINTER.get((func, name))
            if special:
                values.append(special)
            else:
                values.append("static_cast<%s>(c.buffer(%d))" % (ctype, buffer))
                buffer += 1
        elif k == "real":
            values.append("1.0f")
        else:
            values.append(plain_int(name))
    return values


def main():
    out, headers = sys.argv[1], sys.argv[2:]
    rows = []
    for func, args in parse(headers):
        base = plain(func, args)
        mutator = "true" if MUTATORS.match(func) else "false"

        def emit(pos, label, values, null_input, slow=False):
            call = "%s(%s)" % (func, ", ".join(
                "static_cast<%s>(%s)" % (t, v) if kind(t) in ("int", "real") else v
                for (t, _), v in zip(args, values)))
            rows.append('{"%s", %d, "%s", %s, %s, %s, [](Ctx& c) { (void)c; (void)%s; }},' %
                        (func, pos, label.replace('"', '\\"'), mutator,
                         "true" if null_input else "false", "true" if slow else "false", call))

        emit(-1, "plain", base, False)
        for i, (ctype, name) in enumerate(args):
            k = kind(ctype)
            if k == "int":
                for v in INTS:
                    values = list(base)
                    values[i] = v
                    if v in HUGE:
                        values = ["nullptr" if kind(t) == "pointer" and
                                  (func, n) not in PLAIN_POINTER else x
                                  for (t, n), x in zip(args, values)]
                    emit(i, "%s=%s" % (name, v), values, False,
                         (func, name) in SLOW and v in SLOW_VALUES)
            elif k == "real":
                for v in REALS:
                    values = list(base)
                    values[i] = v
                    emit(i, "%s=%s" % (name, v), values, False)
            elif k == "text":
                for v, label in zip(TEXTS, ("null", "empty", "5000 chars")):
                    values = list(base)
                    values[i] = v
                    emit(i, "%s=%s" % (name, label), values, False)
            else:
                values = list(base)
                values[i] = "nullptr"
                # A null input or output buffer means "nothing"; an opaque
                # handle or a block to free is plainly allowed to be null.
                emit(i, "%s=null" % name, values, (func, name) not in PLAIN_POINTER)
    with open(out, "w") as f:
        f.write("// Generated by gen_hostile_calls.py from the public headers.\n")
        f.write("\n".join(rows) + "\n")
    print("gen_hostile_calls: %d calls" % len(rows))


if __name__ == "__main__":
    main()
