#!/usr/bin/env python3
"""Generates the hostile-argument calls from the public headers: for every exported
declaration, one call with plain arguments, then each argument in turn at hostile
values with the others plain. Integers: INT32_MIN, -1, 0, 1, 63, 64, 10001,
INT32_MAX; pointers: null; texts: null, empty, 5000 characters; reals: NaN, both
infinities, -1e30. A host buffer whose size the header states (a caller contract
the engine cannot check) is allocated at exactly that size for the call's
arguments (CONTRACTS); every pointer of a call is null once an integer is at
INT32_MIN or INT32_MAX, where no buffer could be that large.

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
    SetInNewRGBA |
    IPLResize | IPLResizePage | IPLCrop | IPLRotateLeft | IPLRotateRight | IPLFlipHorizontal |
    IPLFlipVertical |
    IPLPhotoPop |
    IPLPan | WarpPointToPoint | IPLDisplacementBummp
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
                 ("QRN_InitTablet", "window"): "nullptr",
                 ("QRN_Free", "block"): "QRN_Alloc(16)"}


# The caller contracts of the header: how many bytes each buffer must hold, from
# the call's arguments, the canvas (W x H) and the new RGBA buffer (NW x NH).
# ("bytes", n) is a packed block; ("rows", stride, rows, row bytes) a block of
# rows at a byte stride, either sign. The sweep allocates exactly that much, so
# the sanitizers see any access beyond it; buffers not listed get the sweep's
# large ones.
CONTRACTS = {
    "QRN_SetPixelRGB24": {"buffer": ("rows", "stride", "H", "W*3")},
    "QRN_Memcpy": {"destination": ("bytes", "len"), "source": ("bytes", "len")},
    "QRN_InvertAlpha_RGBA32": {"buffer": ("bytes", "W*H*4")},
    "QRN_SetColorAlphaRGBABuf": {"buffer": ("bytes", "width*height*4")},
    "QRN_SetAlphaFromRGBAImageColor": {"buffer": ("bytes", "W*H*4")},
    "QRN_Load": {"buffer": ("rows", "stride", "height", "width*3")},
    "QRN_LoadRGB24": {"buffer": ("rows", "stride", "H", "W*3")},
    "QRN_LoadRGB24ToAlpha": {"buffer": ("rows", "stride", "H", "W*3")},
    "QRN_LoadRGBA32Layer": {"buffer": ("rows", "stride", "height", "width*4")},
    "QRN_LoadRGBA32Layer_GOOD": {"buffer": ("rows", "stride", "height", "width*4")},
    "QRN_LoadRGBA32Layer_GOOD2": {"buffer": ("rows", "stride", "height", "width*4")},
    "QRN_LoadRGBA32": {"buffer": ("rows", "stride", "H", "W*4")},
    "QRN_LoadRGBA32Into": {"buffer": ("rows", "stride", "height", "width*4")},
    "QRN_LoadRGBA32LayerCompressed": {"data": ("bytes", "length")},
    "QRN_SetRGBA64Layer": {"buffer": ("rows", "stride", "H", "W*8")},
    "QRN_SetLayerData": {"buffer": ("bytes", "W*H*8")},
    "QRN_GetRGB24": {"buffer": ("rows", "stride", "H", "W*3")},
    "QRN_GetRGB24FromAlpha": {"buffer": ("rows", "stride", "H", "W*3")},
    "QRN_GetRGBA32Layer": {"buffer": ("rows", "stride", "H", "W*4")},
    "QRN_GetRGBA32": {"buffer": ("rows", "stride", "H", "W*4")},
    "QRN_GetRGBA64LayerRect": {"buffer": ("rows", "stride", "height", "width*8")},
    "QRN_GetRGBA64Layer": {"buffer": ("rows", "stride", "H", "W*8")},
    "QRN_GetLayerData": {"buffer": ("bytes", "W*H*8")},
    "QRN_GetRGBA32LayerCompressed": {"output": ("bytes", "capacity")},
    "QRN_GetRGBA32FromRGBA64": {"destination": ("rows", "destinationStride", "height", "width*4"),
                                "source": ("rows", "sourceStride", "height", "width*8")},
    "QRN_GetRGB24FromRGBA64": {"destination": ("rows", "destinationStride", "H", "W*3"),
                               "source": ("rows", "sourceStride", "H", "W*8")},
    "QRN_ClearRGBA64": {"buffer": ("rows", "stride", "H", "W*8")},
    "QRN_ClearRGBA32": {"buffer": ("rows", "stride", "H", "W*4")},
    "QRN_ClearRGBA32Buf": {"buffer": ("bytes", "width*height*4")},
    "QRN_MergeLayerIntoRect": {"buffer": ("bytes", "width*height*8")},
    "QRN_MergeLayerInto": {"buffer": ("bytes", "W*H*8")},
    "QRN_MergeRect": {"buffer": ("bytes", "width*height*8")},
    "QRN_Merge": {"buffer": ("bytes", "W*H*8")},
    # Adjusted at width x height, then read at the canvas size.
    "QRN_LoadRGBA32Layer_BAD": {"buffer": ("bytes", "MAX(W*H, width*height)*4")},
    "QRN_RLECompressRGBA64ToRGBA32": {"source": ("bytes", "count*8"), "output": ("bytes", "count*5")},
    "QRN_RLEUncompressRGBA32ToRGBA64": {"input": ("bytes", "count*5"),
                                        "destination": ("bytes", "count*8")},
    "QRN_RLECompressG16ToG8": {"source": ("bytes", "count*2"), "output": ("bytes", "count*2")},
    "QRN_RLEUncompressG8ToG16": {"input": ("bytes", "count*2"), "destination": ("bytes", "count*2")},
    "QRN_GetRGBA32LayerLineRLE": {"output": ("bytes", "W*5")},
    "QRN_PutRGBA32LayerLineRLE": {"input": ("bytes", "W*5")},
    "QRN_GetMaskLineRLE": {"output": ("bytes", "W*2")},
    "QRN_PutMaskLineRLE": {"input": ("bytes", "W*2")},
    "QRN_AdjustRGBA32PreFilter": {"buffer": ("bytes", "width*height*4")},
    "QRN_AdjustRGBA32PostFilter": {"buffer": ("bytes", "width*height*4")},
    "QRN_AdjustRGBA64PreFilter": {"buffer": ("bytes", "width*height*8")},
    "QRN_AdjustRGBA64PostFilter": {"buffer": ("bytes", "width*height*8")},
    "QRN_AdjustRGBA32ForAlphaComp": {"buffer": ("bytes", "W*H*4")},
    "QRN_AdjustRGBA32ByMaskAndTexture": {"buffer": ("bytes", "width*height*4")},
    "QRN_LoadMask": {"source": ("rows", "stride", "height", "width*3")},
    "QRN_SaveMask": {"destination": ("rows", "stride", "H", "W*3")},
    "QRN_CreateMaskFromRGBAImageColor": {"image": ("bytes", "W*H*4")},
    "QRN_CreateMaskFromRGB24ImageColor": {"image": ("bytes", "W*H*3")},
    "QRN_CreateMaskFromRGBAImageColorRange": {"image": ("bytes", "W*H*4")},
    "QRN_CreateMaskFromRGBAImageAlphaRange": {"image": ("bytes", "W*H*4")},
    "QRN_CreateMaskFromRGBAImageLuminanceRange": {"image": ("bytes", "W*H*4")},
    "QRN_CreateMaskFromRGBAImageHueRange": {"image": ("bytes", "W*H*4")},
    "QRN_CreateMaskFromFloodMask": {"map": ("bytes", "W*H")},
    "QRN_CreateMaskFromDiff_RGBA32": {"imageA": ("bytes", "W*H*4"), "imageB": ("bytes", "W*H*4")},
    "QRN_ApplyMaskToAlpha_RGBA32": {"image": ("bytes", "W*H*4")},
    "QRN_ReplaceFromRGBAImageAlphaRange": {"image": ("bytes", "W*H*4")},
    "QRN_RGBToRGBA": {"destination": ("bytes", "width*height*4"), "source": ("bytes", "width*height*3")},
    "QRN_RGBAToRGB": {"destination": ("bytes", "width*height*3"), "source": ("bytes", "width*height*4")},
    "QRN_RGBToRGBAlpha": {"destination": ("bytes", "width*height*4"),
                          "source": ("bytes", "width*height*3")},
    "QRN_RGBAlphaToRGB": {"destination": ("bytes", "width*height*3"),
                          "source": ("bytes", "width*height*4")},
    "QRN_ReadFromFileRGB24": {"destination": ("bytes", "width*height*3")},
    "QRN_ReadFromFileRGBA32": {"destination": ("bytes", "width*height*4")},
    "QRN_WriteToFileRGB24": {"pixels": ("bytes", "width*height*3")},
    "QRN_WriteToFileRGBA32": {"pixels": ("bytes", "width*height*4")},
    "QRN_GetNewRGBA32": {"destination": ("bytes", "NW*NH*4")},
    "QRN_GetNewRGBA24": {"destination": ("bytes", "NW*NH*3")},
    "QRN_GetResizedNewRGBA24": {"destination": ("bytes", "newWidth*newHeight*3")},
    "QRN_IPLSetSrcBuffer32": {"pixels": ("bytes", "W*H*4")},
    "QRN_LoadImageBrushFromRGBA32": {"pixels": ("bytes", "width*height*4")},
    "QRN_DoCopyBlendBuffer": {"source": ("bytes", "W*H*8")},
    "QRN_GetColorAt": {"pixels": ("bytes", "W*H*8")},
    "QRN_ProcessBuffer_HSLAdjust": {"pixels": ("bytes", "width*height*4")},
    "QRN_ProcessBuffer_HSVAdjust": {"pixels": ("bytes", "width*height*4")},
    "QRN_BlurMoreBufferRGB24": {"pixels": ("bytes", "width*height*3")},
}


def contract_buffer(func, name, ctype, args, values):
    """The exact-size buffer expression for a pointer argument, or None."""
    size = CONTRACTS.get(func, {}).get(name)
    if not size:
        return None
    names = {n: v for (_, n), v in zip(args, values)}

    def expr(text):
        def sub(m):
            w = m.group(0)
            if w == "MAX":
                return "std::max<int64_t>"
            if w in ("W", "H", "NW", "NH"):
                return "int64_t(c.%s)" % w
            return "int64_t(%s)" % names[w]
        return re.sub(r"[A-Za-z_]\w*", sub, text)

    if size[0] == "bytes":
        return "static_cast<%s>(c.exact(%s))" % (ctype, expr(size[1]))
    return "static_cast<%s>(c.rows(%s, %s, %s))" % (ctype, expr(size[1]), expr(size[2]),
                                                     expr(size[3]))


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
            values = [contract_buffer(func, n, t, args, values) or v
                      if v.startswith("static_cast<") and "c.buffer(" in v else v
                      for (t, n), v in zip(args, values)]
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
