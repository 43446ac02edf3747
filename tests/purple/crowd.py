#!/usr/bin/env python3
"""Many scripted XMPP peers at once, for the flood in the real-client tests:
peer1 ... peerN sign in together, and each at once goes busy, extended away
and available again, back to back. They sign off together once the file
STOP exists.

    crowd.py COUNT PORT STOP
"""
import asyncio
import logging
import os
import sys

import slixmpp

CHANGES = [("dnd", None), ("xa", None), (None, None)]


class Peer(slixmpp.ClientXMPP):
    others = []

    def __init__(self, jid, password):
        super().__init__(jid, password)
        self.enable_plaintext = True
        self.enable_starttls = False
        self.enable_direct_tls = False
        self.in_session = asyncio.get_event_loop().create_future()
        self.add_event_handler("session_start", self.start)

    async def start(self, _event):
        self.send_presence()
        for show, status in CHANGES:
            self.send_presence(pshow=show, pstatus=status)
        self.in_session.set_result(True)
        if not any(peer.in_session.done() for peer in Peer.others if peer is not self):
            print("first peer changed", flush=True)


async def crowd(count, port, stop):
    peers = [Peer(f"peer{i}@localhost", "pw") for i in range(1, count + 1)]
    Peer.others = peers
    for peer in peers:
        peer.connect(("127.0.0.1", port))
    await asyncio.wait_for(asyncio.gather(*(peer.in_session for peer in peers)), 60)
    print(f"{count} peers signed in and changed", flush=True)
    while not os.path.exists(stop):
        await asyncio.sleep(0.2)
    await asyncio.gather(*(peer.disconnect() for peer in peers))


def main():
    logging.disable(logging.WARNING)
    count, port, stop = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    asyncio.get_event_loop().run_until_complete(crowd(count, port, stop))


if __name__ == "__main__":
    main()
