#!/usr/bin/env python3
"""Hostile peers for the authenticated time check, one behaviour per run, on
127.0.0.1. Prints the port it listens on as its first line, then one line per
thing it sees on stderr. Ends by itself after --bound seconds.

  nts_peer.py ke-error CERT KEY        TLS 1.3 + ntske/1, answers any request with error record Bad Request
  nts_peer.py ke-tls12 CERT KEY        TLS 1.2 at most
  nts_peer.py ke-alpn CERT KEY         TLS 1.3 that agrees only to http/1.1
  nts_peer.py plain                    a TCP server that answers in plain text, no TLS
  nts_peer.py silent                   a TCP server that accepts and says nothing
  nts_peer.py relay flip-auth PORT     UDP relay to 127.0.0.1:PORT flipping a bit of each reply's authenticator
  nts_peer.py relay plain PORT         UDP relay answering itself: the reply stripped of its fields
  nts_peer.py relay spoil-cookie PORT  UDP relay spoiling the cookie of the first request only
"""
import select
import socket
import ssl
import struct
import sys
import time

bound = 30.0
args = [a for a in sys.argv[1:]]
if "--bound" in args:
    i = args.index("--bound")
    bound = float(args[i + 1])
    del args[i:i + 2]
deadline = time.monotonic() + bound
mode = args[0]


def say(line):
    print(line, file=sys.stderr, flush=True)


def left():
    return max(0.0, deadline - time.monotonic())


def record(kind, body, critical=True):
    return struct.pack(">HH", (0x8000 if critical else 0) | kind, len(body)) + body


def tcp_server():
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(8)
    print(server.getsockname()[1], flush=True)
    return server


def serve_tcp(handle):
    server = tcp_server()
    held = []
    while left() > 0:
        ready, _, _ = select.select([server], [], [], min(left(), 0.5))
        if not ready:
            continue
        connection, _ = server.accept()
        say("connection")
        try:
            handle(connection)
        except (OSError, ssl.SSLError) as error:
            say("ended: %s" % error)
        held.append(connection)


def tls_handler(answer, alpn="ntske/1", version=ssl.TLSVersion.TLSv1_3):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = context.maximum_version = version
    context.load_cert_chain(args[1], args[2])
    context.set_alpn_protocols([alpn])

    def handle(connection):
        connection.settimeout(left())
        wrapped = context.wrap_socket(connection, server_side=True)
        request = wrapped.recv(4096)
        say("request %d bytes" % len(request))
        wrapped.sendall(answer)
        wrapped.close()
    return handle


if mode == "ke-error":
    serve_tcp(tls_handler(record(1, b"\0\0") + record(2, b"\0\1") + record(0, b"")))
elif mode == "ke-tls12":
    serve_tcp(tls_handler(b"", version=ssl.TLSVersion.TLSv1_2))
elif mode == "ke-alpn":
    serve_tcp(tls_handler(b"", alpn="http/1.1"))
elif mode == "plain":
    serve_tcp(lambda c: c.sendall(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n" * 8))
elif mode == "silent":
    serve_tcp(lambda c: None)
elif mode == "relay":
    how, upstream_port = args[1], int(args[2])
    front = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    front.bind(("127.0.0.1", 0))
    back = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    back.connect(("127.0.0.1", upstream_port))
    print(front.getsockname()[1], flush=True)
    client = None
    requests = 0
    while left() > 0:
        ready, _, _ = select.select([front, back], [], [], min(left(), 0.5))
        if front in ready:
            packet, client = front.recvfrom(4096)
            requests += 1
            say("request %d bytes" % len(packet))
            if how == "plain":
                # A well-formed NTP answer with the right origin, and nothing to prove it.
                now = time.time() + 2208988800
                stamp = struct.pack(">II", int(now), int((now % 1) * 2**32))
                reply = bytes([0x24, 2, 6, 0xEC]) + bytes(8) + b"\x7f\0\0\1" + stamp + packet[40:48] + stamp + stamp
                front.sendto(reply, client)
                continue
            if how == "spoil-cookie" and requests == 1:
                # The cookie field follows the 48-byte header and the identifier's field.
                id_length = struct.unpack(">H", packet[50:52])[0]
                at = 48 + id_length + 8
                packet = packet[:at] + bytes([packet[at] ^ 0xFF]) + packet[at + 1:]
            back.send(packet)
        if back in ready:
            reply = back.recv(4096)
            if how == "flip-auth":
                reply = reply[:-5] + bytes([reply[-5] ^ 0x01]) + reply[-4:]
            say("reply %d bytes stratum %d %s" % (len(reply), reply[1], reply[12:16]))
            if client:
                front.sendto(reply, client)
else:
    sys.exit("unknown mode " + mode)
