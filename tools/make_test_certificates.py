#!/usr/bin/env python3
"""Makes the certificates of the stand-in update host with the openssl command:

    ca.pem                              the test CA that a test run adds to the trusted bundle
    server.pem, server.key              the host's certificate for HOSTS, signed by that CA
    untrusted-ca.pem                    a second CA that no client trusts
    untrusted-server.pem, .key          a certificate for the same HOSTS signed by it

    make_test_certificates.py --out DIR --hosts "h1 h2 ..."

Does nothing when DIR already holds a complete set for the same host names.
"""
import argparse
import fcntl
import os
import subprocess
import sys
import tempfile

FILES = ["ca.pem", "server.pem", "server.key", "untrusted-ca.pem", "untrusted-server.pem", "untrusted-server.key"]
HOSTS_RECORD = "hosts.txt"


def openssl(*args: str) -> None:
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_pair(out: str, prefix: str, ca_name: str, hosts: list[str], scratch: str) -> None:
    ca_key = os.path.join(scratch, prefix + "ca.key")
    ca_pem = os.path.join(out, prefix + "ca.pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3650",
            "-keyout", ca_key, "-out", ca_pem, "-subj", "/CN=" + ca_name,
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "825",
            "-CA", ca_pem, "-CAkey", ca_key,
            "-keyout", os.path.join(out, prefix + "server.key"), "-out", os.path.join(out, prefix + "server.pem"),
            "-subj", "/CN=" + hosts[0],
            "-addext", "subjectAltName=" + ",".join("DNS:" + h for h in hosts),
            "-addext", "basicConstraints=critical,CA:FALSE",
            "-addext", "keyUsage=critical,digitalSignature,keyEncipherment",
            "-addext", "extendedKeyUsage=serverAuth")


def make_certificates(out: str, hosts: list[str]) -> bool:
    """Returns False when a matching set was already there."""
    os.makedirs(out, exist_ok=True)
    # Test runs in parallel may ask for the same folder at once.
    with open(os.path.join(out, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        return make_locked(out, hosts)


def make_locked(out: str, hosts: list[str]) -> bool:
    record = os.path.join(out, HOSTS_RECORD)
    wanted = " ".join(hosts) + "\n"
    if all(os.path.exists(os.path.join(out, f)) for f in FILES) and os.path.exists(record):
        with open(record) as f:
            if f.read() == wanted:
                return False
    for name in FILES + [HOSTS_RECORD]:
        if os.path.exists(os.path.join(out, name)):
            os.remove(os.path.join(out, name))
    with tempfile.TemporaryDirectory() as scratch:   # the CA keys never outlive this run
        make_pair(out, "", "Vexa Test Update CA", hosts, scratch)
        make_pair(out, "untrusted-", "Vexa Untrusted Test CA", hosts, scratch)
    with open(record, "w") as f:    # last: a set interrupted half-way is never taken as complete
        f.write(wanted)
    return True


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", required=True)
    parser.add_argument("--hosts", required=True, help="host names separated by blanks")
    args = parser.parse_args()
    hosts = args.hosts.split()
    if not hosts:
        parser.error("--hosts names no host")
    try:
        make_certificates(args.out, hosts)
    except subprocess.CalledProcessError as e:
        sys.stderr.write("openssl failed: %s\n" % e.stderr.decode(errors="replace").strip())
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
