#!/usr/bin/python3
# Expected pixel positions of the demo sheet's corners with background and perspective at size
# 256, computed in double precision with numpy, independently of the C++ code. The matrix is
# built from the axis-angle (Rodrigues) form; the unit-quaternion form (cos(t/2), axis sin(t/2))
# that the program uses is checked to give the same rotations.
import numpy as np


def quaternion_rotation(axis, degrees):
    t = np.radians(degrees)
    w = np.cos(t / 2)
    x, y, z = np.asarray(axis, dtype=float) * np.sin(t / 2)
    return np.array([
        [1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
        [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
        [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)],
    ])


def rodrigues(axis, degrees):
    k = np.asarray(axis, dtype=float)
    t = np.radians(degrees)
    kx = np.array([[0, -k[2], k[1]], [k[2], 0, -k[0]], [-k[1], k[0], 0]])
    return np.eye(3) + np.sin(t) * kx + (1 - np.cos(t)) * kx @ kx


for axis in ((1, 0, 0), (0, 1, 0)):
    assert np.allclose(quaternion_rotation(axis, 10), rodrigues(axis, 10))

# Turned about x first, then about y: M = Ry Rx.
m = rodrigues((0, 1, 0), 10) @ rodrigues((1, 0, 0), 10)

size = 256
margin = 0.5  # with a sheet
a, b = -margin / 2, 1 + margin / 2
print("matrix")
for row in m:
    print(" ".join("%.9f" % v for v in row))
print("corners")
for corner in ((a, a), (b, a), (b, b), (a, b)):
    p = (np.array(corner) - 0.5) / (margin + 0.5)
    u = m @ np.array([p[0], p[1], 1.0])
    q = u[:2] / u[2] * 0.85 + np.array([-0.3, 0.3])
    q = (q + 1) * size / 2
    print("%.6f %.6f" % (q[0], q[1]))
