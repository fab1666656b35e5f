#!/usr/bin/env python3
"""Reads the publisher's release key for the build.

    release_key.py public KEY.pem     prints the public point X||Y (128 hex digits)
    release_key.py private KEY.pem    prints d (64 hex digits) of a PKCS#8 private key

Only EC P-256 keys are accepted: a public key as the SubjectPublicKeyInfo PEM that
`openssl ec -pubout` (or `openssl pkey -pubout`) writes, with an uncompressed point
on the curve. Anything else is one line on standard error and exit code 1."""
import base64
import binascii
import re
import sys

# SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING 04 ... }: everything
# before X||Y of a P-256 key is these 27 bytes.
SPKI_P256_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200" "04")
ALGORITHM_P256 = bytes.fromhex("06072a8648ce3d020106082a8648ce3d030107")  # id-ecPublicKey, prime256v1
P = 2**256 - 2**224 + 2**192 + 2**96 - 1
B = 0x5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B
N = 0xFFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551


class Refused(Exception):
    pass


def pem_body(path, label):
    try:
        text = open(path, encoding="ascii").read()
    except (OSError, UnicodeDecodeError) as e:
        raise Refused("cannot read %s: %s" % (path, getattr(e, "strerror", None) or e))
    blocks = re.findall(r"-----BEGIN ([A-Z ]+)-----\s*(.*?)\s*-----END \1-----", text, re.S)
    if len(blocks) != 1 or blocks[0][0] != label:
        raise Refused("%s is not one PEM block '%s'" % (path, label))
    try:
        return base64.b64decode("".join(blocks[0][1].split()), validate=True)
    except binascii.Error:
        raise Refused("%s holds no valid base64" % path)


def public_point(path):
    der = pem_body(path, "PUBLIC KEY")
    if len(der) != len(SPKI_P256_PREFIX) + 64 or not der.startswith(SPKI_P256_PREFIX):
        raise Refused("%s is not an EC P-256 public key with an uncompressed point" % path)
    point = der[len(SPKI_P256_PREFIX):]
    x, y = int.from_bytes(point[:32], "big"), int.from_bytes(point[32:], "big")
    if x >= P or y >= P or (y * y - (x * x * x - 3 * x + B)) % P:
        raise Refused("%s names a point that is not on the P-256 curve" % path)
    return point


def element(data, at, tag):
    """The contents of the DER element of the given tag at data[at], and where the next begins."""
    if at + 2 > len(data) or data[at] != tag:
        raise Refused("unexpected DER element")
    length, at = data[at + 1], at + 2
    if length & 0x80:
        count = length & 0x7F
        length, at = int.from_bytes(data[at:at + count], "big"), at + count
    if at + length > len(data):
        raise Refused("truncated DER element")
    return data[at:at + length], at + length


def private_scalar(path):
    der = pem_body(path, "PRIVATE KEY")
    try:
        info, _ = element(der, 0, 0x30)                       # PrivateKeyInfo
        _, at = element(info, 0, 0x02)                        # version
        algorithm, at = element(info, at, 0x30)
        if algorithm != ALGORITHM_P256:
            raise Refused("not an EC P-256 key")
        wrapped, _ = element(info, at, 0x04)
        ec_key, _ = element(wrapped, 0, 0x30)                 # ECPrivateKey
        _, at = element(ec_key, 0, 0x02)                      # version 1
        scalar, _ = element(ec_key, at, 0x04)
    except Refused as e:
        raise Refused("%s is not an EC P-256 private key (PKCS#8): %s" % (path, e))
    if len(scalar) != 32 or not 0 < int.from_bytes(scalar, "big") < N:
        raise Refused("%s is not an EC P-256 private key (PKCS#8)" % path)
    return scalar


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("public", "private"):
        sys.stderr.write("usage: release_key.py public|private KEY.pem\n")
        return 2
    try:
        value = public_point(sys.argv[2]) if sys.argv[1] == "public" else private_scalar(sys.argv[2])
    except Refused as e:
        sys.stderr.write("%s\n" % e)
        return 1
    print(value.hex())
    return 0


if __name__ == "__main__":
    sys.exit(main())
