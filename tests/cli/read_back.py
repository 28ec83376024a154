"""Reads a polygon XML file and an editor SVG (-se) or a DXF (-od) written by the same run, the
latter with its outside reader (ElementTree, ezdxf), and prints OK when both hold the same
polylines in the same order (drawing, then clutter), or the first difference.
Usage: read_back.py OUT.xml dxf FILE UNITS | OUT.xml svg FILE LEFT TOP, where LEFT and TOP
are the page's left and top edges in the drawing's frame (y up)."""
import re
import sys
import xml.etree.ElementTree as ET


def polygon_xml(path):
    text = open(path).read()
    cut = text.find("<!--")
    points, layers = [], {"drawing": [], "clutter": []}
    for m in re.finditer(r"<point><x>([^<]*)</x><y>([^<]*)</y></point>|"
                         r"<polygon( ends=\"open\")?>(.*?)</polygon>", text):
        if m.group(1) is not None:
            points.append((float(m.group(1)), float(m.group(2))))
        else:
            refs = [int(r) - 1 for r in re.findall(r"<point>(\d+)</point>", m.group(4))]
            layer = "clutter" if m.start() > cut else "drawing"
            layers[layer].append(([points[r] for r in refs], m.group(3) is None))
    return layers


def editor_svg(path):
    ns = {"s": "http://www.w3.org/2000/svg"}
    root = ET.parse(path).getroot()
    layers = {}
    for group in root.findall("s:g", ns):
        name = group.get("{http://www.inkscape.org/namespaces/inkscape}label")
        shapes = []
        for shape in group:
            coords = [tuple(map(float, p.split(","))) for p in shape.get("points").split()]
            shapes.append((coords, shape.tag.endswith("polygon")))
        layers[name] = shapes
    return layers


def main():
    xml_path, kind, path = sys.argv[1:4]
    want = polygon_xml(xml_path)
    if kind == "dxf":
        import ezdxf
        doc = ezdxf.readfile(path)
        if doc.audit().has_errors:
            return "audit errors"
        units = doc.header.get("$INSUNITS", 0)
        if str(units) != sys.argv[4]:
            return f"units {units}"
        got = {"drawing": [], "clutter": []}
        for e in doc.modelspace().query("POLYLINE"):
            got[e.dxf.layer.lower()].append(
                ([(v.dxf.location.x, v.dxf.location.y) for v in e.vertices], e.is_closed))
        shift = lambda p: p
    else:
        got = editor_svg(path)
        # The page puts its top left corner at the origin: x' = x - left, y' = top - y.
        left, top = float(sys.argv[4]), float(sys.argv[5])
        shift = lambda p: (p[0] + left, top - p[1])
    for layer in ("drawing", "clutter"):
        if len(got.get(layer, [])) != len(want[layer]):
            return f"{layer}: {len(got.get(layer, []))} polylines, want {len(want[layer])}"
        for (g, gc), (w, wc) in zip(got[layer], want[layer]):
            g = [shift(p) for p in g]
            if gc != wc or len(g) != len(w) or any(
                    abs(a - b) > 1e-3 * max(1.0, abs(b)) for p, q in zip(g, w)
                    for a, b in zip(p, q)):
                return f"{layer}: {g[:3]} ... differs from {w[:3]} ..."
    return "OK"


print(main())
