#!/usr/bin/env python3
"""Peers for the flood benchmark's timed waves: peerFIRST ... peerLAST sign
in and print "signed in", then play the commands read from stdin, one a
line, printing each once sent:
    show SHOW A B    peers A..B show SHOW (away, dnd, xa, chat, online)
    off A B          peers A..B sign off

    purple_wave.py FIRST LAST PORT
"""
import asyncio
import logging
import sys

import slixmpp


def peer(i):
    xmpp = slixmpp.ClientXMPP(f"peer{i}@localhost", "pw")
    xmpp.enable_plaintext = True
    xmpp.enable_starttls = False
    xmpp.enable_direct_tls = False
    xmpp.in_session = asyncio.get_event_loop().create_future()
    xmpp.add_event_handler("session_start", lambda _: (xmpp.send_presence(), xmpp.in_session.set_result(True)))
    return xmpp


async def main():
    first, last, port = (int(a) for a in sys.argv[1:4])
    peers = {i: peer(i) for i in range(first, last + 1)}
    for xmpp in peers.values():
        xmpp.connect(("127.0.0.1", port))
    await asyncio.wait_for(asyncio.gather(*(p.in_session for p in peers.values())), 600)
    print("signed in", flush=True)
    loop = asyncio.get_event_loop()
    while line := await loop.run_in_executor(None, sys.stdin.readline):
        what, *rest = line.split()
        a, b = int(rest[-2]), int(rest[-1])
        for i in range(a, b + 1):
            if what == "off":
                peers[i].disconnect()
            else:
                peers[i].send_presence(pshow=None if rest[0] == "online" else rest[0])
        print(line.strip(), flush=True)
    await asyncio.sleep(1)


if __name__ == "__main__":
    logging.disable(logging.WARNING)
    asyncio.get_event_loop().run_until_complete(main())
