#!/usr/bin/env python3
"""Turns the Wycheproof chunked-encryption vectors (JSON, ciphertexts zlib-compressed hex) into
one line per vector that the C++ tests read without a JSON or zlib library:

    tcId result flags key ctx msgLength msgSha512 aeadKey baseNonce ciphertext

Hex fields; '-' stands for an empty or absent field; flags are comma-separated."""
import json
import sys
import zlib


def field(value):
    return value if value not in (None, "") else "-"


def main(source, target):
    with open(source, encoding="utf-8") as f:
        data = json.load(f)
    lines = []
    for group in data["testGroups"]:
        if group.get("aead") != "AEAD_AES_128_GCM" or group.get("sha") != "SHA-512":
            continue
        for test in group["tests"]:
            ciphertext = zlib.decompress(bytes.fromhex(test["ct"])).hex()
            lines.append(" ".join([
                str(test["tcId"]), test["result"], field(",".join(test["flags"])), field(test["key"]),
                field(test["ctx"]), field(str(test["msgLength"]) if "msgLength" in test else None),
                field(test.get("msgSha512")), field(test.get("aeadKey")), field(test.get("baseNonce")),
                field(ciphertext)]))
    if len(lines) != data["numberOfTests"]:
        sys.exit(f"{source}: {len(lines)} vectors converted, {data['numberOfTests']} announced")
    with open(target, "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
