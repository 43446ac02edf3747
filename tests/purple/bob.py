#!/usr/bin/env python3
"""A scripted XMPP peer for the real-client tests: signs in and plays the
steps given on the command line, one a second, then signs off. Prints each
step once it is sent.

    bob.py JID PASSWORD PORT STEP...
    STEP: away | dnd:MESSAGE | xa | chat | back | nick:NAME | say:TEXT
          | join:ROOM@HOST (once in the room) | invite:ROOM@HOST | leave:ROOM@HOST
          | until:FILE (waits for FILE to exist)
"""
import asyncio
import os
import sys

import slixmpp


class Bob(slixmpp.ClientXMPP):
    def __init__(self, jid, password, steps):
        super().__init__(jid, password)
        self.steps = steps
        self.register_plugin("xep_0030")
        self.register_plugin("xep_0045")
        self.register_plugin("xep_0163")
        self.register_plugin("xep_0172")
        self.add_event_handler("session_start", self.start)

    async def start(self, _event):
        self.send_presence()
        await self.get_roster()
        await asyncio.sleep(1)
        for step in self.steps:
            kind, _, value = step.partition(":")
            if kind in ("away", "xa", "chat", "dnd"):
                self.send_presence(pshow=kind, pstatus=value or None)
            elif kind == "back":
                self.send_presence()
            elif kind == "nick":
                await self.plugin["xep_0172"].publish_nick(value)
            elif kind == "say":
                self.send_message(mto="alice@localhost", mbody=value, mtype="chat")
            elif kind == "join":
                await self.plugin["xep_0045"].join_muc_wait(value, self.boundjid.user, timeout=60)
            elif kind == "invite":
                self.plugin["xep_0045"].invite(value, "alice@localhost", reason="come in")
            elif kind == "leave":
                self.plugin["xep_0045"].leave_muc(value, self.boundjid.user)
            elif kind == "until":
                while not os.path.exists(value):
                    await asyncio.sleep(0.1)
                continue
            print(step, flush=True)
            await asyncio.sleep(1)
        self.disconnect()


def main():
    jid, password, port, *steps = sys.argv[1:]
    bob = Bob(jid, password, steps)
    bob.enable_plaintext = True
    bob.enable_starttls = False
    bob.enable_direct_tls = False
    bob.connect(("127.0.0.1", int(port)))
    bob.process(forever=False)


if __name__ == "__main__":
    main()
