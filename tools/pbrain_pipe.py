"""What the match and soak scripts share: the five test and a pbrain engine on a pipe."""
import subprocess
import threading
import time

N = 20


def five(board, cell, side):
    """Whether the stone of `side` on `cell` stands in a line of five or more."""
    r0, c0 = divmod(cell, N)
    for dr, dc in ((0, 1), (1, 1), (1, 0), (1, -1)):
        n = 1
        for sign in (1, -1):
            r, c = r0 + dr * sign, c0 + dc * sign
            while 0 <= r < N and 0 <= c < N and board[r * N + c] == side:
                n += 1
                r, c = r + dr * sign, c + dc * sign
        if n >= 5:
            return True
    return False


class PbrainEngine:
    """A pbrain engine started with `argv`; MESSAGE and DEBUG lines are kept aside."""

    def __init__(self, argv):
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.messages = []

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def answer(self, timeout_s):
        """The next line that is not a MESSAGE and the milliseconds it took; None when none
        came in time or the engine ended."""
        result = [None]

        def read():
            while True:
                line = self.proc.stdout.readline()
                if not line:
                    return
                line = line.strip()
                if line.startswith("MESSAGE") or line.startswith("DEBUG"):
                    self.messages.append(line)
                    continue
                result[0] = line
                return

        start = time.monotonic()
        t = threading.Thread(target=read, daemon=True)
        t.start()
        t.join(timeout_s)
        return result[0], (time.monotonic() - start) * 1000

    def close(self):
        """Sends END; False when the engine had to be killed."""
        try:
            self.send("END")
            self.proc.wait(timeout=1)
            return True
        except Exception:
            self.proc.kill()
            return False
