# Real FTP server for the tests: serves ROOT on 127.0.0.1 on a free port to one user with a password.
# An optional fourth argument is the idle time-out in seconds (the server then says 421 and closes).
# Prints "PORT <n>" once it listens; exits when its standard input closes (the test program went away).
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, user, password = sys.argv[1:4]
    idle_timeout = float(sys.argv[4]) if len(sys.argv) > 4 else 300
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "Veltrix test server ready."
    handler.auth_failed_timeout = 0  # a refused password is answered at once, not after 3 seconds
    handler.timeout = idle_timeout
    server = FTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(timeout=0.2)


if __name__ == "__main__":
    main()
