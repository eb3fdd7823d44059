"""The end-to-end tests' tally: one PASS or FAIL line per check, as the
test scripts report them, flushed at once so that a hung step shows where."""


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"PASS: {name}", flush=True)
        else:
            self.failed += 1
            print(f"FAIL: {name}" + (f"\n{detail}" if detail else ""), flush=True)
        return ok
