#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT
"""A stand-in for the model service on loopback, for the resource benchmark.

Answers every generateContent POST. Analysis requests get "no opportunity" except the 1st, (N+1)th,
(2N+1)th... which get a confident opportunity so that a nudge card appears now and then; recommendation requests get one
recommendation. Run alone it prints "PORT <n>" and serves until interrupted.
"""

import argparse
import json
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

NO_OPPORTUNITY = '{"opportunity": null}'


def _opportunity(n):
    return json.dumps({
        "opportunity": {
            "patternId": f"manual-note-formatting-{n}",
            "confidence": 0.95,
            "observation": "The user retypes similar meeting notes by hand.",
            "question": "Are you turning these notes into a summary for someone?",
            "category": "manual-work",
        }
    })


RECOMMENDATION = json.dumps({
    "headline": "Let an assistant draft the summary",
    "detail": "Paste the notes into an assistant and ask for a five-line summary.",
    "prompt": "Summarise these meeting notes in five lines.",
    "effort": "low",
    "impact": "medium",
})


def _envelope(text):
    return json.dumps({"candidates": [{"content": {"parts": [{"text": text}]}}]}).encode()


class ModelServer:
    def __init__(self, opportunity_every=0):
        self.opportunity_every = opportunity_every
        self.lock = threading.Lock()
        self.analyses = 0
        self.opportunities = 0
        self.recommendations = 0
        self.request_bytes = 0
        server = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_POST(self):
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length) if length > 0 else b""
                answer = server._answer(body)
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(answer)))
                self.end_headers()
                self.wfile.write(answer)

            def log_message(self, *args):
                pass

        self.httpd = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def _answer(self, body):
        with self.lock:
            self.request_bytes += len(body)
            if b'\\"headline\\"' in body or b'"headline"' in body:
                self.recommendations += 1
                return _envelope(RECOMMENDATION)
            self.analyses += 1
            # The first analysis already raises a card, so a short run sees the card's memory too.
            if self.opportunity_every > 0 and (self.analyses - 1) % self.opportunity_every == 0:
                self.opportunities += 1
                return _envelope(_opportunity(self.analyses))
            return _envelope(NO_OPPORTUNITY)

    def start(self):
        self.thread.start()
        return self

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--opportunity-every", type=int, default=0,
                        help="answer analyses 1, N+1, 2N+1... with an opportunity (0: never)")
    args = parser.parse_args()
    server = ModelServer(args.opportunity_every).start()
    print(f"PORT {server.port}", flush=True)
    try:
        server.thread.join()
    except KeyboardInterrupt:
        server.stop()


if __name__ == "__main__":
    main()
