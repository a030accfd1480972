# Real FTP server for the tests: serves ROOT on 127.0.0.1 on a free port to one user with a password.
# An optional fourth argument is the idle time-out in seconds (the server then says 421 and closes).
# --tls CERT KEY offers explicit TLS (AUTH TLS) with that certificate; --log FILE appends each command the
# server receives to FILE, one a line (the password replaced by "****"). --implicit (with --tls) speaks TLS
# from the first byte, before the greeting; --address ADDR listens there instead (::1 for IPv6).
# --max-per-ip N refuses a client's connections beyond N at once (421), as hosts limit their users.
# Prints "PORT <n>" once it listens; exits when its standard input closes (the test program went away).
import argparse
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("user")
    parser.add_argument("password")
    parser.add_argument("idle_timeout", nargs="?", type=float, default=300)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--log")
    parser.add_argument("--implicit", action="store_true")
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--max-per-ip", type=int, default=0)
    args = parser.parse_args()
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    base = FTPHandler
    if args.tls:
        from pyftpdlib.handlers import TLS_FTPHandler

        base = TLS_FTPHandler

    class Handler(base):
        def pre_process_command(self, line, cmd, arg):
            if args.log:
                shown = cmd + " ****" if cmd == "PASS" else line
                with open(args.log, "a", encoding="utf-8") as log:
                    log.write(shown + "\n")
            return super().pre_process_command(line, cmd, arg)

        # Implicit TLS: the handshake first, the greeting once it is done.
        def handle(self):
            if not args.implicit:
                return super().handle()
            self.secure_connection(self.ssl_context)

        def handle_ssl_established(self):
            if args.implicit and not getattr(self, "_greeted", False):
                self._greeted = True
                FTPHandler.handle(self)

    handler = Handler
    if args.tls:
        handler.certfile, handler.keyfile = args.tls
    handler.authorizer = authorizer
    handler.banner = "Veltrix test server ready."
    handler.auth_failed_timeout = 0  # a refused password is answered at once, not after 3 seconds
    handler.timeout = args.idle_timeout
    server = FTPServer((args.address, 0), handler)
    server.max_cons_per_ip = args.max_per_ip
    print("PORT %d" % server.socket.getsockname()[1], flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(timeout=0.2)


if __name__ == "__main__":
    main()
