#!/usr/bin/env python3
"""Fake render agent for tests: serves the agent protocol the render coordinator speaks (health, source upload,
submit, status, result) on one loopback address and renders each job with the stand-in render command.

usage: fake_render_agent.py --bind 127.0.0.2 --port N --standin PATH --workdir DIR [--color C] [--frame-ms N]
                            [--mode fail|stall] [--health-status CODE] [--echo-source] [--cut-result]
                            [--result-style STYLE]
--echo-source completes every job at once with the uploaded source as its result (transfer benchmarks).
--cut-result announces the whole segment's Content-Length but closes the connection after half of it (an agent
that crashes or loses its link while sending).
--result-style sends the result otherwise, whatever the request asked for:
  gzip-cut     coded with gzip (Content-Encoding and the whole coded Content-Length), closed after half of it
  close-cut    without Content-Length (read to close), closed after half of the segment
  short-length announcing and sending only the first half of the segment
  trickle      the whole Content-Length, then one byte every 200 ms
  endless      without Content-Length, zeros for as long as the connection takes them
Prints "ready" once it listens. Streams uploads and results in 1 MiB chunks."""
import argparse
import gzip
import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlparse

CHUNK = 1 << 20
ID = re.compile(r"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")


class Agent:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.jobs = {}  # id -> dict(status, frames, total, output, error)
        self.sources = {}

    def render(self, job_id, job_path, source, output, total):
        command = [self.args.standin, "--render-segment", source, "--job", job_path, "--output", output,
                   "--color", self.args.color, "--frame-ms", str(self.args.frame_ms)]
        if self.args.mode:
            command += ["--mode", self.args.mode]
        proc = subprocess.Popen(command, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
        for line in proc.stdout:
            if line.startswith("frames "):
                with self.lock:
                    self.jobs[job_id]["frames"] = int(line.split()[1])
        code = proc.wait()
        with self.lock:
            entry = self.jobs[job_id]
            if code == 0 and os.path.getsize(output) > 0:
                entry["status"] = "complete"
            else:
                entry["status"] = "failed"
                entry["error"] = "stand-in exited with %d" % code


def handler_for(agent):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def reply(self, status, body, content_type="application/json"):
            data = body if isinstance(body, bytes) else json.dumps(body).encode()
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(data)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(data)
            self.close_connection = True

        def do_GET(self):
            path = urlparse(self.path).path
            if path == "/health":
                self.reply(agent.args.health_status, {"status": "ok"})
                return
            parts = path.strip("/").split("/")
            if len(parts) == 3 and parts[0] == "render" and ID.match(parts[1]):
                with agent.lock:
                    entry = dict(agent.jobs.get(parts[1], {}))
                if not entry:
                    self.reply(404, {"error": "job not found"})
                elif parts[2] == "status":
                    body = {"status": entry["status"], "framesComplete": entry["frames"], "totalFrames": entry["total"]}
                    if "error" in entry:
                        body["error"] = entry["error"]
                    self.reply(200, body)
                elif parts[2] == "result" and entry["status"] == "complete" and agent.args.result_style:
                    self.odd_result(entry["output"], agent.args.result_style)
                elif parts[2] == "result" and entry["status"] == "complete":
                    size = os.path.getsize(entry["output"])
                    self.send_response(200)
                    self.send_header("Content-Type", "video/quicktime")
                    self.send_header("Content-Length", str(size))
                    self.send_header("Connection", "close")
                    self.end_headers()
                    with open(entry["output"], "rb") as f:
                        if agent.args.cut_result:
                            self.wfile.write(f.read(size // 2))
                        else:
                            shutil.copyfileobj(f, self.wfile, CHUNK)
                    self.close_connection = True
                else:
                    self.reply(404, {"error": "not found"})
                return
            self.reply(404, {"error": "not found"})

        def odd_result(self, path, style):
            with open(path, "rb") as f:
                data = f.read()
            self.send_response(200)
            self.send_header("Content-Type", "video/quicktime")
            self.send_header("Connection", "close")
            self.close_connection = True
            try:
                if style == "gzip-cut":
                    coded = gzip.compress(data)
                    self.send_header("Content-Encoding", "gzip")
                    self.send_header("Content-Length", str(len(coded)))
                    self.end_headers()
                    self.wfile.write(coded[: len(coded) // 2])
                elif style == "close-cut":
                    self.end_headers()
                    self.wfile.write(data[: len(data) // 2])
                elif style == "short-length":
                    self.send_header("Content-Length", str(len(data) // 2))
                    self.end_headers()
                    self.wfile.write(data[: len(data) // 2])
                elif style == "trickle":
                    self.send_header("Content-Length", str(len(data)))
                    self.end_headers()
                    for i in range(len(data)):
                        self.wfile.write(data[i : i + 1])
                        self.wfile.flush()
                        time.sleep(0.2)
                elif style == "endless":
                    self.end_headers()
                    zeros = bytes(CHUNK)
                    while True:
                        self.wfile.write(zeros)
            except (BrokenPipeError, ConnectionResetError):
                pass

        def read_body(self, sink):
            remaining = int(self.headers.get("Content-Length", "0"))
            while remaining > 0:
                chunk = self.rfile.read(min(CHUNK, remaining))
                if not chunk:
                    break
                remaining -= len(chunk)
                sink(chunk)
            return remaining == 0

        def do_POST(self):
            url = urlparse(self.path)
            if url.path == "/source/upload":
                query = parse_qs(url.query)
                job_id = query.get("id", [""])[0]
                ext = query.get("ext", [""])[0]
                if not ID.match(job_id) or not re.match(r"^[A-Za-z0-9]{1,8}$", ext):
                    self.reply(400, {"error": "bad upload"})
                    return
                target = os.path.join(agent.args.workdir, "source_%s.%s" % (job_id, ext))
                with open(target, "wb") as f:
                    ok = self.read_body(f.write)
                if not ok:
                    self.reply(400, {"error": "short upload"})
                    return
                with agent.lock:
                    agent.sources[job_id] = target
                self.reply(200, {"status": "stored"})
                return
            if url.path == "/render/submit":
                parts = []
                self.read_body(parts.append)
                raw = b"".join(parts)
                try:
                    job = json.loads(raw)
                    job_id = job["jobID"]
                    multiplier = max(int(job["params"]["multiplier"]), 1)
                    total = (int(job["endFrame"]) - int(job["startFrame"])) * multiplier
                except (ValueError, KeyError, TypeError):
                    self.reply(400, {"error": "invalid job JSON"})
                    return
                with agent.lock:
                    source = agent.sources.get(job_id)
                if source is None or not ID.match(job_id):
                    self.reply(400, {"error": "no source"})
                    return
                job_path = os.path.join(agent.args.workdir, "job_%s.json" % job_id)
                with open(job_path, "wb") as f:
                    f.write(raw)
                output = os.path.join(agent.args.workdir, "segment_%s.mov" % job_id)
                if agent.args.echo_source:
                    with agent.lock:
                        agent.jobs[job_id] = {"status": "complete", "frames": total, "total": total, "output": source}
                    self.reply(202, {"jobID": job_id})
                    return
                with agent.lock:
                    agent.jobs[job_id] = {"status": "rendering", "frames": 0, "total": total, "output": output}
                threading.Thread(target=agent.render, args=(job_id, job_path, source, output, total),
                                 daemon=True).start()
                self.reply(202, {"jobID": job_id})
                return
            self.reply(404, {"error": "not found"})

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bind", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--standin", required=True)
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--color", default="gray")
    parser.add_argument("--frame-ms", type=int, default=0)
    parser.add_argument("--mode", default="")
    parser.add_argument("--health-status", type=int, default=200)
    parser.add_argument("--echo-source", action="store_true")
    parser.add_argument("--cut-result", action="store_true")
    parser.add_argument("--result-style", default="",
                        choices=["", "gzip-cut", "close-cut", "short-length", "trickle", "endless"])
    args = parser.parse_args()
    if not args.bind.startswith("127."):
        sys.exit("the fake agent listens on loopback addresses only")
    server = ThreadingHTTPServer((args.bind, args.port), handler_for(Agent(args)))
    server.daemon_threads = True
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
