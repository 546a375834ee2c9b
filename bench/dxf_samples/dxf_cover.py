#!/usr/bin/python3
"""How much of a DXF drawing does Korvo show?  Compares Korvo's import of a DXF file with
what ezdxf (Debian python3-ezdxf 0.18) says the model space contains.

For each file:
  reference  model-space geometry as ezdxf sees it: INSERT (nested, scaled, rotated, MINSERT)
             and DIMENSION/LEADER/MLEADER/MLINE/ACAD_TABLE expanded into world coordinates;
             LINE ARC CIRCLE ELLIPSE SPLINE LWPOLYLINE POLYLINE(bulges, spline-fit, 3D, mesh
             edges) SOLID/TRACE/3DFACE edges, HATCH boundary paths; flattened to polylines.
             Entities on layers that are off or frozen, or flagged invisible, are left out
             (they are a separate "hidden" set).  Texts (TEXT, MTEXT, ATTRIB, also those inside
             blocks and dimensions) are listed separately: points, height, plain string.
  korvo      `korvo --convert IN.dxf OUT.dac` (lines "L", arcs/circles "C") flattened the same
             way; `korvo --convert IN.dxf OUT.dxf` for its TEXT entities (decoded as cp932).
  metrics    tol = 1e-4 * diagonal of the reference extents (chord tolerance tol/4); --rel-tol
             sets another share, e.g. 1e-3
             coverage = share of reference length within tol of Korvo's geometry
             excess   = share of Korvo's length farther than tol from the reference
             texts    = share of visible reference texts with a Korvo text of the same string
                        within tol of the text's insertion or alignment point (an MTEXT of
                        several paragraphs also when each paragraph is a Korvo text near it).
  Lengths within tol are computed exactly per segment pair (the part of a segment inside the
  tol-"stadium" around another segment), with a uniform grid as spatial index.

Usage:
  cover.py [--korvo PATH] [--rel-tol 1e-4] [--tsv results.tsv] [--summary summary.txt]
           [--json detail.json] FILE_OR_DIR ...
  cover.py --selftest          validate the metric on generated drawings (exit 1 on failure)
Prints one line per file and a final line
  "median coverage X%, worst Y% (file), median excess Z%".
"""
from __future__ import annotations

import os
import re
import sys

try:
    import numpy as np
    import ezdxf  # noqa: F401
except ImportError:  # the Debian packages live in the system interpreter
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != os.path.realpath(
            "/usr/bin/python3") and not os.environ.get("COVER_REEXEC"):
        os.environ["COVER_REEXEC"] = "1"
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise

import argparse
import collections
import json
import logging
import math
import shutil
import statistics
import subprocess
import tempfile
import time

logging.disable(logging.WARNING)  # ezdxf logs every skipped entity

from ezdxf import recover  # noqa: E402
from ezdxf.math import Vec3  # noqa: E402
from ezdxf import path as ezpath  # noqa: E402
from ezdxf.path import tools as ezpath_tools  # noqa: E402
from ezdxf.protocols import SupportsVirtualEntities, virtual_entities  # noqa: E402
from ezdxf.render import MeshVertexMerger, MeshBuilder  # noqa: E402
from ezdxf.lldxf import encoding as ezencoding  # noqa: E402

# ezdxf 0.18 decodes only upper-case \U+XXXX escapes, and a lower-case one followed by another
# (as dxflib writes them), or an escape cut by the end of a group, stops the whole file with a
# ValueError: accept both cases and keep what is not a whole escape as it stands.
ezencoding.BACKSLASH_UNICODE = re.compile(r"(\\U\+[A-Fa-f0-9]{4})")
ezencoding._decode = lambda s: chr(int(s[3:], 16)) if ezencoding.BACKSLASH_UNICODE.fullmatch(s) else s

DEFAULT_KORVO = "build/app/korvo"
REL_TOL = 1e-4          # distance tolerance relative to the reference extents' diagonal
SAG_PER_TOL = 0.25      # chord (sagitta) tolerance as a share of the distance tolerance
MAX_DEPTH = 24          # block nesting guard

DIRECT = {"LINE", "ARC", "CIRCLE", "ELLIPSE", "SPLINE", "LWPOLYLINE", "POLYLINE", "SOLID",
          "TRACE", "3DFACE", "HATCH", "MPOLYGON", "HELIX", "MESH"}
TEXTS = {"TEXT", "MTEXT", "ATTRIB"}


# ---------------------------------------------------------------------------------------------
# Reference: what ezdxf says the model space shows

def kind_of(e) -> str:
    """Entity type, POLYLINE refined by its kind."""
    t = e.dxftype()
    if t == "POLYLINE":
        try:
            if e.is_poly_face_mesh or e.is_polygon_mesh:
                return "POLYLINE-mesh"
            if e.is_3d_polyline:
                return "POLYLINE-3d"
            if e.dxf.flags & 4:
                return "POLYLINE-splinefit"
        except Exception:
            pass
    if t == "INSERT":
        try:
            if e.mcount > 1:
                return "MINSERT"
        except Exception:
            pass
    return t


def _xy(points) -> np.ndarray:
    return np.array([(p[0], p[1]) for p in points], dtype=float).reshape(-1, 2)


def _polyline_path(e) -> list:
    """2D/3D POLYLINE as a path; spline-fit polylines show their fit vertices, not the frame."""
    verts = list(e.vertices)
    if e.dxf.flags & 4:  # spline fit: drawn through vertices flagged 8, frame (16) hidden
        fit = [v for v in verts if v.dxf.flags & 8]
        if len(fit) >= 2:
            verts = fit
        else:
            verts = [v for v in verts if not v.dxf.flags & 16] or verts
    if len(verts) < 2:
        return []
    if e.is_3d_polyline:
        return [ezpath.from_vertices([v.dxf.location for v in verts], close=e.is_closed)]
    p = ezpath.Path()
    if e.dxf.hasattr("elevation"):
        elevation = Vec3(e.dxf.elevation).z
    else:
        elevation = Vec3(verts[0].dxf.location).z
    ezpath_tools.add_2d_polyline(p, [v.format("xyb") for v in verts], close=e.is_closed,
                                 ocs=e.ocs(), elevation=elevation)
    return [p]


def _mesh_edges(mesh: MeshBuilder) -> list:
    verts = mesh.vertices
    edges = set()
    for face in mesh.faces:
        n = len(face)
        for i in range(n):
            a, b = face[i], face[(i + 1) % n]
            if a != b:
                edges.add((min(a, b), max(a, b)))
    return [_xy((verts[a], verts[b])) for a, b in sorted(edges)]


def flatten_entity(e, sag: float) -> list:
    """World-coordinate polylines (arrays (k,2)) of one leaf entity."""
    t = e.dxftype()
    if t == "LINE":
        return [_xy((e.dxf.start, e.dxf.end))]
    if t in ("ARC", "CIRCLE"):
        r = abs(e.dxf.radius)
        if not r > 0 or not math.isfinite(r):
            return []
        # a chord tolerance above the radius is out of ezdxf's domain (ValueError): few chords do
        return [_xy(e.flattening(min(max(sag, r * 2e-6), r)))]
    if t == "ELLIPSE":
        # ezdxf 0.18 can bring a full ellipse's end parameter onto its start when it transforms
        # it out of a block (a span of 0, then ZeroDivisionError): a span of nothing is a full turn
        ce = e.construction_tool()
        span = (ce.end_param - ce.start_param) % math.tau
        if span < 1e-9 or span > math.tau - 1e-9:
            ce.end_param = ce.start_param + math.tau
        return [_xy(ce.flattening(sag, segments=8))]
    if t == "SPLINE":
        return [_xy(e.flattening(sag, segments=4))]
    if t in ("LWPOLYLINE", "SOLID", "TRACE", "3DFACE", "HELIX"):
        return [_xy(ezpath.make_path(e).flattening(sag, segments=4))]
    if t == "POLYLINE":
        if e.is_poly_face_mesh or e.is_polygon_mesh:
            return _mesh_edges(MeshBuilder.from_builder(MeshVertexMerger.from_polyface(e)))
        return [_xy(p.flattening(sag, segments=4)) for p in _polyline_path(e)]
    if t in ("HATCH", "MPOLYGON"):
        return [_xy(p.flattening(sag, segments=4)) for p in ezpath.from_hatch(e)]
    if t == "MESH":
        return _mesh_edges(MeshBuilder.from_mesh(e))
    return []


def rough_box(e):
    """A box holding the entity (control points and the like), for the first guess of the
    drawing's size; None when unknown."""
    t = e.dxftype()
    try:
        if t == "LINE":
            pts = [e.dxf.start, e.dxf.end]
        elif t in ("ARC", "CIRCLE"):
            c = e.ocs().to_wcs(e.dxf.center)
            r = abs(e.dxf.radius)
            pts = [c - Vec3(r, r), c + Vec3(r, r)]
        elif t == "ELLIPSE":
            c = Vec3(e.dxf.center)
            m = Vec3(e.dxf.major_axis).magnitude
            pts = [c - Vec3(m, m), c + Vec3(m, m)]
        elif t == "SPLINE":
            pts = list(e.control_points) or list(e.fit_points)
        elif t == "LWPOLYLINE":
            pts = list(e.vertices_in_wcs())
        elif t == "POLYLINE":
            pts = list(e.points_in_wcs()) if not (e.is_poly_face_mesh or e.is_polygon_mesh) \
                else [v.dxf.location for v in e.vertices if not (v.dxf.flags & 128 and not v.dxf.flags & 64)]
        else:
            return None
    except Exception:
        return None
    if not pts:
        return None
    a = _xy(pts)
    return a.min(axis=0), a.max(axis=0)


class Reference:
    def __init__(self, doc):
        self.doc = doc
        self.layer_state = {}
        for layer in doc.layers:
            try:
                self.layer_state[layer.dxf.name.lower()] = (layer.is_off(), layer.is_frozen())
            except Exception:
                pass
        self.leaves = []     # (entity, top kind, leaf kind, hidden)
        self.texts = []      # dict(points, h, s, top, leaf, hidden)
        self.skipped = collections.Counter()   # "top>type" not represented as geometry
        self.errors = collections.Counter()
        self.msp_counts = collections.Counter()
        # An INSERT with a z scale of 0 (libdxfrw writes them) stops ezdxf's expansion of the
        # block with a ZeroDivisionError; in plan the z scale changes nothing, so read it as 1.
        flat = 0
        for e in doc.entitydb.values():
            try:
                if e.dxftype() == "INSERT" and e.dxf.get("zscale", 1.0) == 0:
                    e.dxf.zscale = 1.0
                    flat += 1
            except Exception:
                pass
        if flat:
            self.errors["INSERT z scale 0 read as 1"] += flat

    @staticmethod
    def _attr(e, name, default):
        try:
            return e.dxf.get(name, default)
        except Exception:
            return default

    def collect(self):
        for e in self.doc.modelspace():
            k = kind_of(e)
            self.msp_counts[k] += 1
            self.walk(e, k, 0, None, False)

    def walk(self, e, top, depth, parent_layer, frozen_above):
        t = e.dxftype()
        layer = self._attr(e, "layer", "0") or "0"
        eff = parent_layer if (parent_layer is not None and layer == "0") else layer
        off, frozen = self.layer_state.get(eff.lower(), (False, False))
        invisible = bool(self._attr(e, "invisible", 0))
        hidden = frozen_above or off or frozen or invisible
        below_frozen = frozen_above or frozen or invisible
        if depth > MAX_DEPTH:
            self.errors["nesting too deep"] += 1
            return
        if t == "INSERT":
            try:
                mcount = e.mcount
            except Exception:
                mcount = 1
            if mcount > 1:
                try:
                    for ins in e.multi_insert():
                        self.walk(ins, top, depth + 1, parent_layer, frozen_above)
                except Exception as ex:
                    self.errors[f"MINSERT: {type(ex).__name__}"] += 1
                return
            for attrib in e.attribs:
                self.add_text(attrib, top, eff, below_frozen)
            try:
                for ve in e.virtual_entities():
                    self.walk(ve, top, depth + 1, eff, below_frozen)
            except Exception as ex:
                self.errors[f"INSERT: {type(ex).__name__}"] += 1
            return
        if t in DIRECT:
            self.leaves.append((e, top, kind_of(e), hidden))
            return
        if t in TEXTS:
            self.add_text(e, top, parent_layer, frozen_above)
            return
        if isinstance(e, SupportsVirtualEntities):
            try:
                for ve in virtual_entities(e):
                    self.walk(ve, top, depth + 1, eff, below_frozen)
            except Exception as ex:
                self.errors[f"{t}: {type(ex).__name__}"] += 1
            return
        self.skipped[t if top == t else f"{top}>{t}"] += 1

    def add_text(self, e, top, parent_layer, frozen_above):
        t = e.dxftype()
        layer = self._attr(e, "layer", "0") or "0"
        eff = parent_layer if (parent_layer is not None and layer == "0") else layer
        off, frozen = self.layer_state.get(eff.lower(), (False, False))
        hidden = frozen_above or off or frozen or bool(self._attr(e, "invisible", 0))
        try:
            paras = []
            if t == "MTEXT":
                # ezdxf 0.18 leaves MTEXT's non-breaking space "\\~" as it stands
                s = e.plain_text(split=False).replace("\\~", " ")
                paras = [p for p in (norm_text(x.replace("\\~", " ")) for x in e.plain_text(split=True)) if p]
                pts = [Vec3(e.dxf.insert)]
                h = e.dxf.get("char_height", 0.0)
            else:
                s = e.plain_text()
                ocs = e.ocs()
                pts = [ocs.to_wcs(e.dxf.insert)]
                if e.dxf.hasattr("align_point"):
                    pts.append(ocs.to_wcs(e.dxf.align_point))
                h = e.dxf.get("height", 0.0)
                if t == "ATTRIB" and e.is_invisible:
                    hidden = True
        except Exception as ex:
            self.errors[f"text {t}: {type(ex).__name__}"] += 1
            return
        s = norm_text(s)
        if not s:
            return
        self.texts.append(dict(points=[(p.x, p.y) for p in pts], h=h, s=s, top=top,
                               leaf=t, hidden=hidden, paras=paras if len(paras) > 1 else []))

    def rough_extents(self):
        lo = np.array([np.inf, np.inf])
        hi = -lo
        for e, _, _, hidden in self.leaves:
            if hidden:
                continue
            b = rough_box(e)
            if b is None:
                continue
            lo = np.minimum(lo, b[0])
            hi = np.maximum(hi, b[1])
        return (lo, hi) if np.all(np.isfinite(lo)) and np.all(np.isfinite(hi)) else None

    def flatten(self, sag, want_hidden):
        """Polylines of the visible (or hidden) leaves with their tags."""
        polys, tags = [], []
        for e, top, leaf, hidden in self.leaves:
            if hidden != want_hidden:
                continue
            try:
                for a in flatten_entity(e, sag):
                    if len(a) >= 2 and np.all(np.isfinite(a)):
                        polys.append(a)
                        tags.append((top, leaf))
            except Exception as ex:
                self.errors[f"flatten {leaf}: {type(ex).__name__}"] += 1
        return polys, tags


def raw_sets(doc, sag):
    """Geometry Korvo might draw that is not in the model space, for explaining excess:
    block definitions at their own origin, paper space, straight chords between POLYLINE
    vertices (as read without bulges, frame or face records), arcs of mirrored OCS read as
    if in world coordinates."""
    blocks, paper, chords, ocs_arcs = [], [], [], []

    def raw_chords(e):
        try:
            pts = [(v.dxf.location.x, v.dxf.location.y) for v in e.vertices]
        except Exception:
            return
        if len(pts) >= 2:
            chords.append(np.array(pts, dtype=float))

    def add(e, target):
        t = e.dxftype()
        if t == "POLYLINE":
            raw_chords(e)
        if t in ("ARC", "CIRCLE"):
            try:
                if Vec3(e.dxf.extrusion).z < 0:
                    c = e.dxf.center
                    r = abs(e.dxf.radius)
                    if t == "CIRCLE":
                        s0, s1 = 0.0, 0.0
                    else:
                        s0, s1 = e.dxf.start_angle, e.dxf.end_angle
                    ocs_arcs.extend(arc_polylines(np.array([[c.x, c.y, r, s0, s1]]), sag))
            except Exception:
                pass
        if t in DIRECT and target is not None:
            try:
                target.extend(a for a in flatten_entity(e, sag) if len(a) >= 2)
            except Exception:
                pass

    for e in doc.modelspace():
        add(e, None)
    for layout in doc.layouts:
        if layout.is_modelspace:
            continue
        for e in layout:
            add(e, paper)
    for block in doc.blocks:
        name = block.name.lower()
        if name.startswith("*model_space") or name.startswith("*paper_space"):
            continue
        for e in block:
            add(e, blocks)
    return [("block definitions at their origin", blocks), ("paper space", paper),
            ("POLYLINE vertices joined straight", chords),
            ("mirrored-OCS ARC/CIRCLE read as world", ocs_arcs)]


def norm_text(s: str) -> str:
    """Whitespace collapsed; DXF's \\U+XXXX escapes read as the characters they stand for."""
    s = re.sub(r"\\U\+([0-9A-Fa-f]{4})", lambda m: chr(int(m.group(1), 16)), s)
    return " ".join(s.split())


# ---------------------------------------------------------------------------------------------
# Korvo

def arc_polylines(arcs: np.ndarray, sag: float, max_seg: int = 4096) -> list:
    """Arcs (cx, cy, r, start, end), degrees counter-clockwise, start == end a full circle."""
    out = []
    for cx, cy, r, s0, s1 in arcs:
        if not r > 0:
            continue
        sweep = (s1 - s0) % 360.0
        if s0 == s1 or sweep == 0.0:
            sweep = 360.0
        sg = max(sag, r * 2e-6)
        step = 2.0 * math.acos(max(-1.0, 1.0 - sg / r)) if sg < r else math.pi / 2
        step = min(step, math.pi / 2)
        n = max(1, min(max_seg, int(math.ceil(math.radians(sweep) / step))))
        a = np.radians(s0) + np.linspace(0.0, math.radians(sweep), n + 1)
        out.append(np.column_stack((cx + r * np.cos(a), cy + r * np.sin(a))))
    return out


def read_dac(path):
    lines, arcs = [], []
    with open(path, "rb") as f:
        for raw in f:
            c = raw[:1]
            if c == b"L":
                p = raw.split()
                if len(p) >= 6:
                    lines.append([float(v) for v in p[2:6]])
            elif c == b"C":
                p = raw.split()
                if len(p) >= 7:
                    arcs.append([float(v) for v in p[2:7]])
    return np.array(lines, dtype=float).reshape(-1, 4), np.array(arcs, dtype=float).reshape(-1, 5)


def read_korvo_texts(path):
    """TEXT entities of Korvo's DXF export: (x, y, string decoded as cp932)."""
    with open(path, "rb") as f:
        rows = f.read().split(b"\n")
    rows = [r[:-1] if r.endswith(b"\r") else r for r in rows]
    texts, cur = [], None
    for i in range(0, len(rows) - 1, 2):
        try:
            code = int(rows[i].strip())
        except ValueError:
            continue
        value = rows[i + 1]
        if code == 0:
            if cur is not None:
                texts.append(cur)
            cur = {"x": 0.0, "y": 0.0, "s": ""} if value.strip() == b"TEXT" else None
        elif cur is not None:
            if code == 10:
                cur["x"] = float(value)
            elif code == 20:
                cur["y"] = float(value)
            elif code == 1:
                cur["s"] = norm_text(value.decode("cp932", errors="replace"))
    if cur is not None:
        texts.append(cur)
    return texts


def run_korvo(korvo, dxf, workdir, timeout):
    base = os.path.join(workdir, "korvo")
    env = dict(os.environ)
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    res = {}
    for ext in ("dac", "dxf"):
        out = f"{base}.{ext}"
        if os.path.exists(out):
            os.unlink(out)
        t0 = time.time()
        try:
            p = subprocess.run([korvo, "--convert", dxf, out], capture_output=True, env=env,
                               timeout=timeout)
            rc = p.returncode
            err = p.stderr.decode("utf-8", errors="replace")
        except subprocess.TimeoutExpired:
            rc, err = "timeout", ""
        res[ext] = dict(rc=rc, seconds=time.time() - t0, path=out if os.path.exists(out) else None,
                        notes=[ln for ln in err.splitlines() if "成功" not in ln][:8])
    return res


# ---------------------------------------------------------------------------------------------
# Geometry: segments, clipping, splitting, and the length of A within tol of B

def to_segments(polys):
    if not polys:
        return np.zeros((0, 4)), np.zeros(0, dtype=np.int64)
    segs, owner = [], []
    for i, a in enumerate(polys):
        if len(a) < 2:
            continue
        segs.append(np.hstack((a[:-1], a[1:])))
        owner.append(np.full(len(a) - 1, i, dtype=np.int64))
    if not segs:
        return np.zeros((0, 4)), np.zeros(0, dtype=np.int64)
    s = np.vstack(segs)
    o = np.concatenate(owner)
    keep = seg_len(s) > 0
    return s[keep], o[keep]


def seg_len(s):
    return np.hypot(s[:, 2] - s[:, 0], s[:, 3] - s[:, 1])


def clip_segments(s, box):
    """Parts of segments inside box (xmin, ymin, xmax, ymax): (clipped, index into s)."""
    x0, y0 = s[:, 0], s[:, 1]
    dx, dy = s[:, 2] - x0, s[:, 3] - y0
    t0 = np.zeros(len(s))
    t1 = np.ones(len(s))
    ok = np.ones(len(s), dtype=bool)
    with np.errstate(divide="ignore", invalid="ignore"):
        for p, q in ((-dx, x0 - box[0]), (dx, box[2] - x0), (-dy, y0 - box[1]), (dy, box[3] - y0)):
            zero = p == 0
            ok &= ~(zero & (q < 0))
            r = np.where(zero, 0.0, q / np.where(zero, 1.0, p))
            t0 = np.where(~zero & (p < 0), np.maximum(t0, r), t0)
            t1 = np.where(~zero & (p > 0), np.minimum(t1, r), t1)
    ok &= t1 > t0
    idx = np.nonzero(ok)[0]
    a, b = t0[idx], t1[idx]
    out = np.column_stack((x0[idx] + a * dx[idx], y0[idx] + a * dy[idx],
                           x0[idx] + b * dx[idx], y0[idx] + b * dy[idx]))
    return out, idx


def split_segments(s, maxlen, cap=100000):
    """Pieces no longer than maxlen (at most cap per segment): (pieces, index into s)."""
    L = seg_len(s)
    k = np.clip(np.ceil(L / maxlen), 1, cap).astype(np.int64)
    idx = np.repeat(np.arange(len(s)), k)
    start = np.repeat(np.cumsum(k) - k, k)
    j = np.arange(k.sum()) - start
    kk = k[idx]
    a = j / kk
    b = (j + 1) / kk
    x0, y0 = s[idx, 0], s[idx, 1]
    dx, dy = s[idx, 2] - x0, s[idx, 3] - y0
    return np.column_stack((x0 + a * dx, y0 + a * dy, x0 + b * dx, y0 + b * dy)), idx


def bbox(s):
    return np.array([min(s[:, 0].min(), s[:, 2].min()), min(s[:, 1].min(), s[:, 3].min()),
                     max(s[:, 0].max(), s[:, 2].max()), max(s[:, 1].max(), s[:, 3].max())])


def stadium_intervals(P, Q, r):
    """For pairs of segments P[i], Q[i] ((n,4) each): the interval [t0, t1] of P's parameter
    where P lies within r of Q (the stadium around Q is convex, so this is one interval, the
    hull of P's intersections with the two end disks and the rectangle).  Empty: t0 > t1."""
    px, py = P[:, 0], P[:, 1]
    dx, dy = P[:, 2] - px, P[:, 3] - py
    qx, qy = Q[:, 0], Q[:, 1]
    ex, ey = Q[:, 2] - qx, Q[:, 3] - qy
    a = dx * dx + dy * dy
    lo = np.full(len(P), np.inf)
    hi = np.full(len(P), -np.inf)
    with np.errstate(divide="ignore", invalid="ignore"):
        for cx, cy in ((qx, qy), (qx + ex, qy + ey)):
            fx, fy = px - cx, py - cy
            b = 2.0 * (dx * fx + dy * fy)
            c = fx * fx + fy * fy - r * r
            disc = b * b - 4.0 * a * c
            ok = disc >= 0
            sq = np.sqrt(np.where(ok, disc, 0.0))
            ta = (-b - sq) / (2.0 * a)
            tb = (-b + sq) / (2.0 * a)
            lo = np.where(ok, np.minimum(lo, ta), lo)
            hi = np.where(ok, np.maximum(hi, tb), hi)
        le = np.hypot(ex, ey)
        has = le > 0
        ux, uy = np.where(has, ex / np.where(has, le, 1.0), 0.0), np.where(has, ey / np.where(has, le, 1.0), 0.0)
        nx, ny = -uy, ux
        rl, rh = np.full(len(P), -np.inf), np.full(len(P), np.inf)
        ok = has.copy()
        for f0, f1, l_, h_ in (((px - qx) * ux + (py - qy) * uy, dx * ux + dy * uy, 0.0, le),
                               ((px - qx) * nx + (py - qy) * ny, dx * nx + dy * ny, -r, r)):
            small = np.abs(f1) < 1e-300
            inside = (f0 >= l_) & (f0 <= h_)
            ok &= ~(small & ~inside)
            ta = (l_ - f0) / np.where(small, 1.0, f1)
            tb = (h_ - f0) / np.where(small, 1.0, f1)
            rl = np.where(small, rl, np.maximum(rl, np.minimum(ta, tb)))
            rh = np.where(small, rh, np.minimum(rh, np.maximum(ta, tb)))
        ok &= rl <= rh
        lo = np.where(ok, np.minimum(lo, rl), lo)
        hi = np.where(ok, np.maximum(hi, rh), hi)
    return np.maximum(lo, 0.0), np.minimum(hi, 1.0)


def _prepare(Ac, Bc, tol, c, reach, R):
    """Pieces of A and B no longer than the cell size c; B's pieces filed under every cell
    that their box grown by reach + c/2 touches, A's under the cell of their midpoint, so a
    B piece is a candidate for an A piece when it comes within `reach` of it (all that matter
    when reach >= tol; a subset, giving a lower bound, when reach < tol)."""
    Ap, ap_of = split_segments(Ac, c)
    Bp, _ = split_segments(Bc, c)
    Ap_len = seg_len(Ap)
    keep = Ap_len > 0
    Ap, ap_of, Ap_len = Ap[keep], ap_of[keep], Ap_len[keep]
    ox, oy = R[0] - tol - 2 * c, R[1] - tol - 2 * c
    ny = int(math.ceil((R[3] - oy + tol + 2 * c) / c)) + 4
    g = reach + 0.5 * c
    Bmin = np.column_stack((np.minimum(Bp[:, 0], Bp[:, 2]), np.minimum(Bp[:, 1], Bp[:, 3])))
    Bmax = np.column_stack((np.maximum(Bp[:, 0], Bp[:, 2]), np.maximum(Bp[:, 1], Bp[:, 3])))
    bx0 = np.floor((Bmin[:, 0] - g - ox) / c).astype(np.int64)
    bx1 = np.floor((Bmax[:, 0] + g - ox) / c).astype(np.int64)
    by0 = np.floor((Bmin[:, 1] - g - oy) / c).astype(np.int64)
    by1 = np.floor((Bmax[:, 1] + g - oy) / c).astype(np.int64)
    nxc, nyc = bx1 - bx0 + 1, by1 - by0 + 1
    k = nxc * nyc
    bi = np.repeat(np.arange(len(Bp)), k)
    j = np.arange(k.sum()) - np.repeat(np.cumsum(k) - k, k)
    nxr = nxc[bi]
    bkeys = (bx0[bi] + j % nxr) * ny + (by0[bi] + j // nxr)
    order = np.argsort(bkeys, kind="stable")
    bkeys, bi = bkeys[order], bi[order]
    del j, nxr, order
    mx = (Ap[:, 0] + Ap[:, 2]) * 0.5
    my = (Ap[:, 1] + Ap[:, 3]) * 0.5
    akeys = np.floor((mx - ox) / c).astype(np.int64) * ny + np.floor((my - oy) / c).astype(np.int64)
    lo_i = np.searchsorted(bkeys, akeys, "left")
    counts = np.searchsorted(bkeys, akeys, "right") - lo_i
    return dict(Ap=Ap, ap_of=ap_of, Ap_len=Ap_len, Bp=Bp, Bmin=Bmin, Bmax=Bmax, bi=bi,
                lo_i=lo_i, counts=counts, reach=reach)


def _covered_pieces(plan, n_ac, tol, pair_chunk=1_000_000):
    """Length of each segment of Ac within tol of the union of its candidate B pieces."""
    Ap, ap_of, Ap_len, Bp = plan["Ap"], plan["ap_of"], plan["Ap_len"], plan["Bp"]
    bi, lo_i, counts = plan["bi"], plan["lo_i"], plan["counts"]
    Bmin = plan["Bmin"] - min(tol, plan["reach"])
    Bmax = plan["Bmax"] + min(tol, plan["reach"])
    csum = np.cumsum(counts)
    Amin = np.column_stack((np.minimum(Ap[:, 0], Ap[:, 2]), np.minimum(Ap[:, 1], Ap[:, 3])))
    Amax = np.column_stack((np.maximum(Ap[:, 0], Ap[:, 2]), np.maximum(Ap[:, 1], Ap[:, 3])))
    res_a, res_t0, res_t1 = [], [], []
    start, n = 0, len(Ap)
    while start < n:
        base = csum[start - 1] if start else 0
        stop = max(int(np.searchsorted(csum, base + pair_chunk, "right")), start + 1)
        cnt = counts[start:stop]
        tot = int(cnt.sum())
        if tot:
            pa = np.repeat(np.arange(start, stop), cnt)
            off = np.arange(tot) - np.repeat(np.cumsum(cnt) - cnt, cnt)
            pb = bi[np.repeat(lo_i[start:stop], cnt) + off]
            near = np.all((Amin[pa] <= Bmax[pb]) & (Bmin[pb] <= Amax[pa]), axis=1)
            pa, pb = pa[near], pb[near]
            t0, t1 = stadium_intervals(Ap[pa], Bp[pb], tol)
            ok = t1 > t0
            res_a.append(pa[ok])
            res_t0.append(t0[ok])
            res_t1.append(t1[ok])
        start = stop
    out = np.zeros(n_ac)
    if not res_a:
        return out
    pa = np.concatenate(res_a)
    t0 = np.concatenate(res_t0)
    t1 = np.concatenate(res_t1)
    if len(pa) == 0:
        return out
    s = pa * 2.0 + t0
    e = pa * 2.0 + t1
    order = np.argsort(s, kind="stable")
    s, e, pa = s[order], e[order], pa[order]
    prev = np.concatenate(([-np.inf], np.maximum.accumulate(e)[:-1]))
    gain = np.clip(e - np.maximum(s, prev), 0.0, None)
    frac = np.bincount(pa, weights=gain, minlength=len(Ap))
    piece_cov = np.minimum(frac, 1.0) * Ap_len
    return np.bincount(ap_of, weights=piece_cov, minlength=n_ac)


def covered_length(A, B, tol, budget=2_000_000):
    """Length of each segment of A lying within tol of the union of the segments B (exact up
    to rounding: per pair of segments, the part of A inside the tol-stadium around B)."""
    out = np.zeros(len(A))
    if len(A) == 0 or len(B) == 0:
        return out
    ba, bb = bbox(A), bbox(B)
    R = np.array([max(ba[0], bb[0] - tol), max(ba[1], bb[1] - tol),
                  min(ba[2], bb[2] + tol), min(ba[3], bb[3] + tol)])
    if R[0] > R[2] or R[1] > R[3]:
        return out
    Ac, a_of = clip_segments(A, R)
    Bc, _ = clip_segments(B, R + np.array([-tol, -tol, tol, tol]))
    if len(Ac) == 0 or len(Bc) == 0:
        return out
    Lc = seg_len(Ac)
    total = Lc.sum() + seg_len(Bc).sum()
    # First pass: only B pieces within a small reach are candidates (small cells, few pairs
    # even where the drawing is dense at the scale of tol); segments it finds wholly covered
    # are done.  Where the candidates are still many, the reach and cells shrink.
    c_floor = total / budget
    reach, c = 0.125 * tol, max(0.5 * tol, c_floor)
    plan = _prepare(Ac, Bc, tol, c, reach, R)
    while plan["counts"].sum() > 24 * (len(plan["Ap"]) + len(plan["Bp"])) and c / 2 >= c_floor \
            and reach / 2 >= tol / 512:
        reach, c = reach / 2, c / 2
        plan = _prepare(Ac, Bc, tol, c, reach, R)
    cov = _covered_pieces(plan, len(Ac), tol)
    del plan
    rest = np.nonzero(cov < Lc * (1 - 1e-9))[0]
    if len(rest):
        plan = _prepare(Ac[rest], Bc, tol, max(4.0 * tol, c_floor), tol, R)
        cov[rest] = _covered_pieces(plan, len(rest), tol)
    out += np.bincount(a_of, weights=cov, minlength=len(A))
    return np.minimum(out, seg_len(A))


# ---------------------------------------------------------------------------------------------
# One file

def measure(dxf_path, korvo, workdir, korvo_from=None, timeout=600, rel_tol=REL_TOL):
    t_start = time.time()
    r = dict(file=os.path.basename(dxf_path), status="ok", notes=[])
    # Korvo
    if korvo_from is None:
        kr = run_korvo(korvo, dxf_path, workdir, timeout)
    else:  # validation: Korvo reads another file (e.g. a hand-exploded truth)
        kr = run_korvo(korvo, korvo_from, workdir, timeout)
    r["korvo_rc"] = kr["dac"]["rc"]
    r["korvo_seconds"] = round(kr["dac"]["seconds"] + kr["dxf"]["seconds"], 2)
    r["korvo_notes"] = kr["dac"]["notes"]
    if kr["dac"]["rc"] == 0 and kr["dac"]["path"]:
        k_lines, k_arcs = read_dac(kr["dac"]["path"])
    else:
        k_lines, k_arcs = np.zeros((0, 4)), np.zeros((0, 5))
        r["status"] = f"korvo-failed(rc={kr['dac']['rc']})"
    k_texts = read_korvo_texts(kr["dxf"]["path"]) if kr["dxf"]["rc"] == 0 and kr["dxf"]["path"] else []
    r["korvo_elements"] = dict(lines=len(k_lines), arcs=len(k_arcs), texts=len(k_texts))

    # Reference
    t_ref = time.time()
    try:
        doc, auditor = recover.readfile(dxf_path)
        for fix in auditor.fixes:
            if fix.code in (220, 221, 222):  # removed invalid entities
                r["notes"].append(f"ezdxf: {fix.message}")
    except Exception as ex:
        doc = None
        r["status"] = f"ezdxf-failed({type(ex).__name__})"
    ref = None
    if doc is not None:
        ref = Reference(doc)
        ref.collect()
        r["msp_entities"] = dict(ref.msp_counts.most_common())
    else:
        r["msp_entities"] = {}

    # Sizes: a first guess from control points, then the flattened extents
    polys, tags = [], []
    diag = 0.0
    if ref is not None:
        rough = ref.rough_extents()
        guess = float(np.hypot(*(rough[1] - rough[0]))) if rough else 0.0
        sag = SAG_PER_TOL * rel_tol * guess if guess > 0 else 1e-6
        polys, tags = ref.flatten(sag, False)
        if polys:
            allp = np.vstack(polys)
            lo, hi = allp.min(axis=0), allp.max(axis=0)
            diag = float(np.hypot(*(hi - lo)))
            if diag > 0 and sag > 1.5 * SAG_PER_TOL * rel_tol * diag:  # the guess was too coarse
                sag = SAG_PER_TOL * rel_tol * diag
                polys, tags = ref.flatten(sag, False)
            q = np.quantile(allp, [0.01, 0.99], axis=0)
            d98 = float(np.hypot(*(q[1] - q[0])))
            if diag > 0 and d98 < 0.05 * diag:
                r["notes"].append(f"extents dominated by far-off geometry: 98% of the vertices lie in a box "
                                  f"of diagonal {d98:.4g}, the extents' diagonal is {diag:.4g}, so tol is coarse")
    k_polys = [np.array([[x1, y1], [x2, y2]]) for x1, y1, x2, y2 in k_lines]
    if diag > 0:
        tol = rel_tol * diag
    else:  # nothing to see in the reference: measure Korvo at its own scale
        kall = [k_lines[:, :2], k_lines[:, 2:]] + [k_arcs[:, :2] - k_arcs[:, 2:3], k_arcs[:, :2] + k_arcs[:, 2:3]]
        kall = np.vstack(kall) if any(len(x) for x in kall) else np.zeros((0, 2))
        kd = float(np.hypot(*(kall.max(axis=0) - kall.min(axis=0)))) if len(kall) else 0.0
        tol = rel_tol * kd if kd > 0 else 1e-6
    sag = SAG_PER_TOL * tol
    k_polys += arc_polylines(k_arcs, sag)
    r["diag"] = diag
    r["tol"] = tol
    r["ref_seconds"] = round(time.time() - t_ref, 2)

    # Metrics
    t_met = time.time()
    R, r_owner = to_segments(polys)
    K0, _ = to_segments(k_polys)
    K, _ = split_segments(K0, 50 * tol, cap=2000) if len(K0) else (K0, None)
    RL, KL = seg_len(R), seg_len(K)
    r_cov = covered_length(R, K, tol)
    k_cov = covered_length(K, R, tol)
    ref_len, k_len = float(RL.sum()), float(KL.sum())
    r["ref_length"] = ref_len
    r["korvo_length"] = k_len
    r["coverage"] = 100.0 * r_cov.sum() / ref_len if ref_len > 0 else None
    r["excess"] = 100.0 * (k_len - k_cov.sum()) / k_len if k_len > 0 else 0.0
    # The same at ten times the tolerance: tells "drawn coarsely or slightly off" (e.g. curves
    # cut into few chords) from "not drawn at all".
    r["coverage_10tol"] = 100.0 * covered_length(R, K, 10 * tol).sum() / ref_len if ref_len > 0 else None
    r["excess_10tol"] = 100.0 * (k_len - covered_length(K, R, 10 * tol).sum()) / k_len if k_len > 0 else 0.0
    # Share of the reference's primitives (one flattened entity, or one hatch boundary) that
    # are at least 90% covered: less dominated by a few very long entities than the length.
    if len(R):
        p_len = np.bincount(r_owner, weights=RL, minlength=len(polys))
        p_cov = np.bincount(r_owner, weights=r_cov, minlength=len(polys))
        ok = p_len > 0
        r["primitives_covered"] = 100.0 * float(np.mean(p_cov[ok] >= 0.9 * p_len[ok]))
    else:
        r["primitives_covered"] = None
    # Including what lies on layers that are off or frozen (or is flagged invisible)
    hid_polys, _ = ref.flatten(sag, True) if ref is not None else ([], [])
    H, _ = to_segments(hid_polys)
    h_len = float(seg_len(H).sum())
    r["hidden_length"] = h_len
    if ref_len + h_len > 0:
        r["coverage_incl_hidden"] = 100.0 * (r_cov.sum() + covered_length(H, K, tol).sum()) / (ref_len + h_len)
    else:
        r["coverage_incl_hidden"] = None
    # missing length by the model-space entity's type and by the primitive's own type
    miss = RL - r_cov
    by_top, by_leaf, by_pair = collections.Counter(), collections.Counter(), collections.Counter()
    if len(R):
        seg_tags = [tags[i] for i in r_owner]
        for (top, leaf), m in zip(seg_tags, miss):
            if m > 0:
                by_top[top] += m
                by_leaf[leaf] += m
                by_pair[f"{top}>{leaf}" if top != leaf else top] += m
        ref_by_top = collections.Counter()
        for (top, leaf), L in zip(seg_tags, RL):
            ref_by_top[top] += L
        r["ref_length_by_top"] = {k: 100.0 * v / ref_len for k, v in ref_by_top.most_common()}
    pct = (lambda c: {k: 100.0 * v / ref_len for k, v in c.most_common() if 100.0 * v / ref_len >= 0.005}) \
        if ref_len > 0 else (lambda c: {})
    r["missing_by_top"] = pct(by_top)
    r["missing_by_leaf"] = pct(by_leaf)
    r["missing_by_pair"] = pct(by_pair)

    # excess by cause
    ex_left = KL - k_cov
    causes = collections.OrderedDict()
    if k_len > 0 and ex_left.sum() > 0 and ref is not None:
        sets = [("hidden layers/invisible", hid_polys)] + raw_sets(doc, sag)
        for name, ps in sets:
            S, _ = to_segments(ps)
            if len(S) == 0:
                continue
            mask = ex_left > 0
            cov = np.zeros(len(K))
            cov[mask] = covered_length(K[mask], S, tol)
            take = np.minimum(ex_left, cov)
            if take.sum() > 0:
                causes[name] = 100.0 * take.sum() / k_len
            ex_left = ex_left - take
    if k_len > 0 and ex_left.sum() > 0 and len(R):
        # the rest: near which kind of reference entity (within 1% of the extents' diagonal)
        # does it lie?  Mostly curves drawn with coarser chords or a different shape.
        mask = ex_left > 0
        leaf_of_seg = np.array([tags[i][1] for i in r_owner])
        kinds = sorted(set(leaf_of_seg))
        near = np.zeros((len(kinds), int(mask.sum())))
        for i, kd in enumerate(kinds):
            near[i] = covered_length(K[mask], R[leaf_of_seg == kd], max(0.01 * diag, tol))
        best = np.argmax(near, axis=0)
        has = near[best, np.arange(near.shape[1])] > 0
        rest = ex_left[mask]
        for i, kd in enumerate(kinds):
            v = rest[has & (best == i)].sum()
            if v > 0:
                causes[f"other, near a reference {kd}"] = 100.0 * v / k_len
        ex_left = np.zeros_like(ex_left)
        ex_left[np.nonzero(mask)[0][~has]] = rest[~has]
    if k_len > 0 and ex_left.sum() > 0:
        causes["other, far from the drawing"] = 100.0 * ex_left.sum() / k_len
    r["excess_by_cause"] = {k: v for k, v in causes.items() if v >= 0.005}

    # Texts
    ref_texts = [t for t in ref.texts if not t["hidden"]] if ref is not None else []
    r["texts_ref"] = len(ref_texts)
    r["texts_hidden"] = (len(ref.texts) - len(ref_texts)) if ref is not None else 0
    by_string = collections.defaultdict(list)
    for t in k_texts:
        by_string[t["s"]].append((t["x"], t["y"]))
    kt_xy = np.array([(t["x"], t["y"]) for t in k_texts]).reshape(-1, 2)
    matched = at_point = 0
    t_miss = collections.Counter()
    examples = []
    for t in ref_texts:
        pts = np.array(t["points"])
        cand = np.array(by_string.get(t["s"], [])).reshape(-1, 2)
        ok = bool(len(cand)) and bool(
            (np.hypot(cand[:, None, 0] - pts[None, :, 0], cand[:, None, 1] - pts[None, :, 1]) <= tol).any())
        if not ok and t.get("paras"):
            # an MTEXT of several paragraphs may come as one text per paragraph, one line below
            # the other: each paragraph within the height of the whole block of lines
            reach = tol + 2.0 * (len(t["paras"]) + 1) * max(abs(t["h"] or 0.0), tol)
            ok = all(bool(len(c)) and bool((np.hypot(c[:, 0] - pts[0, 0], c[:, 1] - pts[0, 1]) <= reach).any())
                     for c in (np.array(by_string.get(p, [])).reshape(-1, 2) for p in t["paras"]))
        near = bool(len(kt_xy)) and bool(
            (np.hypot(kt_xy[:, None, 0] - pts[None, :, 0], kt_xy[:, None, 1] - pts[None, :, 1]) <= tol).any())
        matched += ok
        at_point += near
        if not ok:
            t_miss[t["leaf"] if t["top"] == t["leaf"] else f"{t['top']}>{t['leaf']}"] += 1
            if near and len(examples) < 6:
                d = np.hypot(kt_xy[:, 0] - pts[0, 0], kt_xy[:, 1] - pts[0, 1])
                examples.append((t["s"][:60], k_texts[int(np.argmin(d))]["s"][:60]))
    r["texts_matched"] = 100.0 * matched / len(ref_texts) if ref_texts else None
    r["texts_at_point"] = 100.0 * at_point / len(ref_texts) if ref_texts else None
    r["texts_missing_by_type"] = dict(t_miss.most_common())
    r["texts_mismatch_examples"] = examples  # (reference, Korvo's text nearest to it)
    if ref is not None:
        r["not_geometry"] = dict(ref.skipped.most_common())
        r["errors"] = dict(ref.errors.most_common())
    r["metric_seconds"] = round(time.time() - t_met, 2)
    r["seconds"] = round(time.time() - t_start, 2)
    return r


# ---------------------------------------------------------------------------------------------
# Output

def fmt_pct(v, nd=1):
    return "n/a" if v is None else f"{v:.{nd}f}"


def fmt_dict(d, limit=8, nd=1):
    items = list(d.items())[:limit]
    return " ".join(f"{k}:{v:.{nd}f}" if isinstance(v, float) else f"{k}:{v}" for k, v in items) or "-"


TSV_COLUMNS = ["file", "status", "msp_entities", "coverage_pct", "excess_pct", "texts_ref",
               "texts_matched_pct", "texts_at_point_pct", "coverage_10tol_pct", "excess_10tol_pct",
               "primitives_90pct_covered_pct", "coverage_incl_hidden_pct", "missing_pp_by_type",
               "missing_pp_by_primitive", "excess_pp_by_cause", "texts_missing_by_type",
               "not_geometry_in_reference", "ref_length", "korvo_length", "diag", "tol",
               "korvo_elements", "seconds", "notes"]


def tsv_row(r):
    return [r["file"], r["status"], fmt_dict(r.get("msp_entities", {}), 40),
            fmt_pct(r.get("coverage"), 2), fmt_pct(r.get("excess"), 2), str(r.get("texts_ref", 0)),
            fmt_pct(r.get("texts_matched")), fmt_pct(r.get("texts_at_point")),
            fmt_pct(r.get("coverage_10tol"), 2), fmt_pct(r.get("excess_10tol"), 2),
            fmt_pct(r.get("primitives_covered")), fmt_pct(r.get("coverage_incl_hidden"), 2),
            fmt_dict(r.get("missing_by_top", {}), 12, 2), fmt_dict(r.get("missing_by_leaf", {}), 12, 2),
            fmt_dict(r.get("excess_by_cause", {}), 12, 2), fmt_dict(r.get("texts_missing_by_type", {}), 12),
            fmt_dict(r.get("not_geometry", {}), 20), f"{r.get('ref_length', 0):.6g}",
            f"{r.get('korvo_length', 0):.6g}", f"{r.get('diag', 0):.6g}", f"{r.get('tol', 0):.3g}",
            fmt_dict(r.get("korvo_elements", {})), f"{r.get('seconds', 0):.1f}",
            "; ".join(r.get("notes", []) + [f"{k} x{v}" for k, v in r.get("errors", {}).items()]
                      + r.get("korvo_notes", [])).replace("\t", " ") or "-"]


def file_line(r):
    texts = (f"texts {fmt_pct(r.get('texts_matched'))}% of {r.get('texts_ref', 0)}"
             if r.get("texts_ref") else "no texts")
    return (f"{r['file']}: coverage {fmt_pct(r.get('coverage'))}%, excess {fmt_pct(r.get('excess'))}%, "
            f"{texts}, "
            f"missing {fmt_dict(r.get('missing_by_top', {}), 3)}; {r['status']}; {r.get('seconds', 0):.1f}s")


def summarize(results):
    covs = [(r["coverage"], r["file"]) for r in results if r.get("coverage") is not None]
    excs = [r["excess"] for r in results if r.get("excess") is not None and r.get("korvo_length", 0) > 0]
    lines = []
    if covs:
        worst = min(covs)
        final = (f"median coverage {statistics.median(c for c, _ in covs):.1f}%, worst {worst[0]:.1f}% "
                 f"({worst[1]}), median excess {statistics.median(excs) if excs else 0.0:.1f}%")
    else:
        final = "median coverage n/a, worst n/a (none), median excess n/a"
    # rankings over the corpus: percentage points of each file's coverage (or Korvo length)
    def rank(key):
        pp, files = collections.Counter(), collections.Counter()
        for r in results:
            for k, v in r.get(key, {}).items():
                pp[k] += v
                files[k] += 1
        return [(k, v, files[k]) for k, v in pp.most_common()]
    n = len(covs)
    lines.append(f"files: {len(results)}, with a reference to cover: {n}")
    if covs:
        lines.append(f"coverage mean {statistics.mean(c for c, _ in covs):.1f}%, "
                     f"median {statistics.median(c for c, _ in covs):.1f}%, files at >=99%: "
                     f"{sum(c >= 99 for c, _ in covs)}, at the worst ({min(covs)[0]:.1f}%): "
                     + ", ".join(f for c, f in covs if c <= min(covs)[0] + 0.05))
        for key, title in (("coverage_10tol", "coverage at 10x tol"),
                           ("primitives_covered", "primitives >=90% covered"),
                           ("coverage_incl_hidden", "coverage counting hidden layers too"),
                           ("texts_matched", "texts matched")):
            v = [r[key] for r in results if r.get(key) is not None]
            if v:
                lines.append(f"{title}: median {statistics.median(v):.1f}%, mean {statistics.mean(v):.1f}% "
                             f"over {len(v)} files")
        v = [r["excess_10tol"] for r in results if r.get("korvo_length", 0) > 0]
        if v:
            lines.append(f"excess at 10x tol: median {statistics.median(v):.1f}%, mean {statistics.mean(v):.1f}%")
    for key, title in (("missing_by_top", "missing length by model-space entity type"),
                       ("missing_by_leaf", "missing length by primitive type (after expansion)"),
                       ("missing_by_pair", "missing length by type>primitive"),
                       ("excess_by_cause", "excess (Korvo length not in the drawing) by cause")):
        lines.append(f"{title}: sum of per-file percentage points (mean gain per file), files")
        for k, v, f in rank(key)[:15]:
            lines.append(f"  {k:45s} {v:8.1f} pp  ({v / max(1, n if key != 'excess_by_cause' else len(excs)):5.1f} mean)  {f} files")
    tm = collections.Counter()
    tr = 0
    for r in results:
        tr += r.get("texts_ref", 0)
        for k, v in r.get("texts_missing_by_type", {}).items():
            tm[k] += v
    lines.append(f"texts: {tr} visible reference texts, "
                 f"{tr - sum(tm.values())} matched; missing by type: {fmt_dict(dict(tm.most_common()), 12)}")
    return final, lines


def expand_inputs(items):
    files = []
    for it in items:
        if os.path.isdir(it):
            files += sorted(os.path.join(it, f) for f in os.listdir(it) if f.lower().endswith(".dxf"))
        else:
            files.append(it)
    return files


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("inputs", nargs="*", help="DXF files or folders of them")
    ap.add_argument("--korvo", default=DEFAULT_KORVO)
    ap.add_argument("--tsv", help="write the per-file table here")
    ap.add_argument("--json", help="write per-file details here")
    ap.add_argument("--summary", help="write the corpus summary here")
    ap.add_argument("--workdir", help="scratch folder (default: a temporary one)")
    ap.add_argument("--korvo-from", help="validation: let Korvo read this file instead")
    ap.add_argument("--timeout", type=int, default=600, help="seconds per Korvo run")
    ap.add_argument("--rel-tol", type=float, default=REL_TOL,
                    help="distance tolerance as a share of the drawing's diagonal (default 1e-4)")
    ap.add_argument("--selftest", action="store_true")
    a = ap.parse_args(argv)
    if a.selftest:
        return selftest(a.korvo)
    if not a.inputs:
        ap.error("no input")
    if not (0 < a.rel_tol < 1):
        ap.error("--rel-tol must lie between 0 and 1")
    if not os.access(a.korvo, os.X_OK):
        print(f"korvo not found: {a.korvo}", file=sys.stderr)
        return 2
    work = a.workdir or tempfile.mkdtemp(prefix="dxfcover-")
    os.makedirs(work, exist_ok=True)
    results = []
    for f in expand_inputs(a.inputs):
        if not os.path.isfile(f):
            print(f"{os.path.basename(f)}: SKIPPED (no such file)")
            continue
        try:
            r = measure(f, a.korvo, work, a.korvo_from, a.timeout, a.rel_tol)
        except Exception as ex:  # report, go on
            r = dict(file=os.path.basename(f), status=f"cover-error({type(ex).__name__}: {ex})")
        results.append(r)
        print(file_line(r), flush=True)
    final, lines = summarize(results)
    lines.insert(0, f"tolerance: {a.rel_tol:g} of each drawing's diagonal (10x tol: {10 * a.rel_tol:g})")
    if a.tsv:
        with open(a.tsv, "w", encoding="utf-8") as out:
            out.write("\t".join(TSV_COLUMNS) + "\n")
            for r in results:
                out.write("\t".join(tsv_row(r)) + "\n")
    if a.json:
        with open(a.json, "w", encoding="utf-8") as out:
            json.dump(results, out, ensure_ascii=False, indent=1, default=str)
    if a.summary:
        with open(a.summary, "w", encoding="utf-8") as out:
            out.write("\n".join(lines + [final]) + "\n")
    if not a.workdir:
        shutil.rmtree(work, ignore_errors=True)
    print(final)
    return 0


# ---------------------------------------------------------------------------------------------
# Self-test: the metric on drawings whose answer is known

def selftest(korvo):
    import ezdxf as ez
    from ezdxf.math import Matrix44
    work = tempfile.mkdtemp(prefix="dxfcover-selftest-")
    failures, passed = [], []

    def check(name, cond, detail):
        print(f"{'ok  ' if cond else 'FAIL'} {name}: {detail}", flush=True)
        (passed if cond else failures).append(name)

    def plain_doc():
        doc = ez.new("R2000")
        msp = doc.modelspace()
        msp.add_line((0, 0), (100, 0))
        msp.add_line((100, 0), (100, 60))
        msp.add_line((0, 60), (100, 60))
        msp.add_line((3, 7), (91.3, 52.9))
        msp.add_circle((50, 30), 20)
        msp.add_circle((10, 10), 0.5)
        msp.add_arc((20, 40), 10, 30, 200)
        msp.add_arc((70, 15), 8, 300, 45)    # crosses 0 degrees
        msp.add_arc((80, 45), 250, 175, 177)  # large radius, small sweep
        msp.add_text("ABC", dxfattribs={"height": 2.5, "insert": (5, 50)})
        return doc

    def save(doc, name):
        p = os.path.join(work, name)
        doc.saveas(p)
        return p

    # 1. a drawing Korvo reads completely
    p1 = save(plain_doc(), "plain.dxf")
    r = measure(p1, korvo, work)
    check("plain LINE/ARC/CIRCLE coverage", r["coverage"] is not None and r["coverage"] > 99.9,
          f"{fmt_pct(r['coverage'], 3)}%")
    check("plain LINE/ARC/CIRCLE excess", r["excess"] < 0.1, f"{r['excess']:.3f}%")
    check("plain TEXT matched", r["texts_matched"] == 100.0, f"{fmt_pct(r['texts_matched'])}% of {r['texts_ref']}")

    # 2. a block inserted away from its origin: missing where it should be, excess at origin
    doc = ez.new("R2000")
    msp = doc.modelspace()
    msp.add_line((500, 500), (600, 500))               # 100 long, read by Korvo
    blk = doc.blocks.new("B")
    blk.add_line((0, 0), (30, 0))
    blk.add_line((30, 0), (30, 20))                    # block: 50 long
    msp.add_blockref("B", (540, 560))
    p2 = save(doc, "insert.dxf")
    r = measure(p2, korvo, work)
    # reference = 100 + 50; Korvo = 100 (right) + 50 (at origin, wrong)
    check("INSERT away from origin: coverage", abs(r["coverage"] - 100 * 100 / 150) < 0.2,
          f"{r['coverage']:.2f}% (expect 66.67)")
    check("INSERT away from origin: excess", abs(r["excess"] - 100 * 50 / 150) < 0.2,
          f"{r['excess']:.2f}% (expect 33.33)")
    check("INSERT: missing attributed to INSERT",
          abs(r["missing_by_top"].get("INSERT", 0) - 100 * 50 / 150) < 0.2, str(r["missing_by_top"]))
    check("INSERT: excess attributed to block definition",
          abs(r["excess_by_cause"].get("block definitions at their origin", 0) - 100 * 50 / 150) < 0.2,
          str(r["excess_by_cause"]))

    # 3. the reference's expansion against hand-computed world geometry: nested, scaled,
    #    rotated INSERT and a MINSERT; Korvo reads an exploded twin made of plain lines/arcs
    doc = ez.new("R2000")
    msp = doc.modelspace()
    inner = doc.blocks.new("IN")
    inner.add_line((0, 0), (10, 0))
    inner.add_arc((0, 0), 5, 0, 90)
    outer = doc.blocks.new("OUT", base_point=(2, 0))
    outer.add_blockref("IN", (2, 3), dxfattribs={"rotation": 90})
    outer.add_line((2, 0), (2, -4))
    msp.add_blockref("OUT", (100, 50), dxfattribs={"xscale": 2, "yscale": 2, "rotation": 30})
    mi = msp.add_blockref("IN", (0, 0))
    mi.grid(size=(2, 3), spacing=(20, 15))   # 2 rows, 3 columns
    p3 = save(doc, "nested.dxf")
    twin = ez.new("R2000")
    tm = twin.modelspace()
    m_out = Matrix44.chain(Matrix44.translate(-2, 0, 0), Matrix44.scale(2, 2, 1),
                           Matrix44.z_rotate(math.radians(30)), Matrix44.translate(100, 50, 0))
    m_in = Matrix44.chain(Matrix44.z_rotate(math.radians(90)), Matrix44.translate(2, 3, 0))

    def put(m, scale, rot):
        a, b = m.transform(Vec3(0, 0)), m.transform(Vec3(10, 0))
        tm.add_line(a, b)
        tm.add_arc(m.transform(Vec3(0, 0)), 5 * scale, rot, rot + 90)
    put(Matrix44.chain(m_in, m_out), 2, 120)
    a, b = m_out.transform(Vec3(2, 0)), m_out.transform(Vec3(2, -4))
    tm.add_line(a, b)
    for row in range(2):
        for col in range(3):
            # grid(size=(rows, columns), spacing=(row spacing, column spacing))
            put(Matrix44.translate(col * 15, row * 20, 0), 1, 0)
    p3t = save(twin, "nested_twin.dxf")
    r = measure(p3, korvo, work, korvo_from=p3t)
    check("nested/scaled/rotated INSERT + MINSERT vs hand-exploded twin: coverage",
          r["coverage"] > 99.9, f"{r['coverage']:.3f}%")
    check("... excess", r["excess"] < 0.1, f"{r['excess']:.3f}%")
    r = measure(p3, korvo, work)
    check("same file read by Korvo itself: MINSERT and INSERT missing",
          r["missing_by_top"].get("MINSERT", 0) > 50 and r["missing_by_top"].get("INSERT", 0) > 10,
          str(r["missing_by_top"]))

    # 4. the distance tolerance: horizontal lines moved up and circles grown by k * tol are
    #    covered for k < 1 and not for k > 1
    def ring_doc(k, tol):
        d = ez.new("R2000")
        m = d.modelspace()
        for y in (0, 10, 20):
            m.add_line((0, y + k * tol), (100, y + k * tol))
        m.add_circle((50, 45), 10 + k * tol)
        m.add_circle((50, 45), 20 + k * tol)
        m.add_arc((10, 45), 5 + k * tol, 10, 160)
        return d
    p4 = save(ring_doc(0, 0), "rings.dxf")
    tol = measure(p4, korvo, work)["tol"]
    for k, lo, hi in ((0.5, 99.9, 100.01), (0.75, 99.9, 100.01), (1.3, -0.01, 0.1), (3.0, -0.01, 0.1)):
        ps = save(ring_doc(k, tol), f"rings{k}.dxf")
        r = measure(p4, korvo, work, korvo_from=ps)
        check(f"lines moved and circles grown by {k} tol: coverage in [{lo}, {hi}]",
              lo <= r["coverage"] <= hi, f"{r['coverage']:.2f}%, excess {r['excess']:.2f}%")

    # 5. LWPOLYLINE with bulges, closed; Korvo ignores LWPOLYLINE
    doc = ez.new("R2000")
    msp = doc.modelspace()
    msp.add_line((0, 0), (40, 0))
    msp.add_lwpolyline([(0, 10, 0), (40, 10, 1), (40, 30, 0), (0, 30, 0)], format="xyb", close=True)
    p5 = save(doc, "lwpoly.dxf")
    r = measure(p5, korvo, work)
    expect = 100 * 40 / (40 + 40 + math.pi * 10 + 40 + 20)
    check("LWPOLYLINE with a bulge: coverage = LINE share", abs(r["coverage"] - expect) < 0.2,
          f"{r['coverage']:.2f}% (expect {expect:.2f}); missing {r['missing_by_top']}")

    # 6. hidden layer: an entity on a frozen layer is not in the reference; Korvo drawing it is excess
    doc = ez.new("R2000")
    doc.layers.add("FROZEN").freeze()
    msp = doc.modelspace()
    msp.add_line((0, 0), (100, 0))
    msp.add_line((0, 50), (100, 50), dxfattribs={"layer": "FROZEN"})
    p6 = save(doc, "frozen.dxf")
    r = measure(p6, korvo, work)
    check("frozen layer: coverage 100, excess 50 from hidden layer",
          r["coverage"] > 99.9 and abs(r["excess"] - 50) < 0.2
          and abs(r["excess_by_cause"].get("hidden layers/invisible", 0) - 50) < 0.2,
          f"coverage {r['coverage']:.2f}%, excess {r['excess']:.2f}% {r['excess_by_cause']}")

    # 7. the interval arithmetic against brute-force sampling on random segments
    rng = np.random.default_rng(1)
    A = rng.uniform(0, 10, (300, 4))
    B = rng.uniform(0, 10, (300, 4))
    tol = 0.05
    fast = covered_length(A, B, tol)
    ts = np.linspace(0, 1, 4001)
    brute = np.zeros(len(A))
    for i, s in enumerate(A):
        p = np.column_stack((s[0] + ts * (s[2] - s[0]), s[1] + ts * (s[3] - s[1])))
        d = np.full(len(ts), np.inf)
        for q in B:
            e = q[2:] - q[:2]
            u = np.clip(((p - q[:2]) @ e) / (e @ e), 0, 1)
            d = np.minimum(d, np.hypot(*(p - (q[:2] + u[:, None] * e)).T))
        brute[i] = (d <= tol).mean() * np.hypot(s[2] - s[0], s[3] - s[1])
    err = np.abs(fast - brute).max()
    check("interval arithmetic vs brute-force sampling (300x300 random segments)", err < 0.01,
          f"max difference {err:.5f} length units (total covered {fast.sum():.3f} vs {brute.sum():.3f})")
    # 8. what ezdxf 0.18 stumbles over: a full ellipse taken out of a block, a circle smaller
    #    than the chord tolerance, a nested INSERT with a z scale of 0
    doc = ez.new("R2000")
    msp = doc.modelspace()
    blk = doc.blocks.new("E")
    blk.add_ellipse((0, 0), major_axis=(10, 0), ratio=0.5, start_param=0, end_param=6.28318530718)
    blk.add_line((0, 0), (10, 0))
    outer = doc.blocks.new("O")
    inner = outer.add_blockref("E", (0, 0))
    msp.add_blockref("E", (100, 100), dxfattribs={"rotation": 30})
    top = msp.add_blockref("O", (200, 100))
    for ins in (inner, top):   # as read from a file: ezdxf's setter would make a 0 scale 1
        ins.dxf.__dict__["zscale"] = 0.0
    msp.add_circle((50, 50), 0.001)
    msp.add_line((0, 0), (300, 0))
    ref = Reference(doc)
    ref.collect()
    polys, _ = ref.flatten(SAG_PER_TOL * REL_TOL * 300, False)
    got = sum(float(seg_len(to_segments([a])[0]).sum()) for a in polys)
    h = (5 / 15) ** 2
    ellipse = math.pi * 15 * (1 + 3 * h / (10 + math.sqrt(4 - 3 * h)))
    expect = 300 + 2 * (10 + ellipse) + 2 * math.pi * 0.001
    check("full ellipse in a block, tiny circle, nested INSERT with z scale 0: reference length",
          abs(got - expect) < 1e-3 * expect and not any(k.startswith(("flatten", "INSERT:")) for k in ref.errors),
          f"{got:.3f} (expect {expect:.3f}), {dict(ref.errors)}")

    shutil.rmtree(work, ignore_errors=True)
    print(f"selftest: {len(passed)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
