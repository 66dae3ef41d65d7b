#!/usr/bin/env python3
"""The Windows program under Wine, against the device emulator built as a
drop-in hidapi.dll beside an unmodified copy of quorvel-dfu.exe.

Every case is judged by what the program printed, its exit status and, above
all, the emulator's record: the requests the device received, the bytes,
CRC-32 and SHA-256 of every transfer, and the device's state afterwards.
scripts/check-windows builds everything and runs this; it can also be run
by hand:

  wine_cases.py --exe-dir DIR --mkfirmware PATH --work DIR
"""

import argparse
import concurrent.futures
import hashlib
import json
import os
import re
import subprocess
import sys
import time
import zlib

ONE_PART_VERSION = "03-04-0506-0708090A"
CONTROLLER_VERSION = "05-06-0708-090A0B0C"
APP_VERSION = "06-07-0809-0A0B0C0D"
INITIAL_VERSION = "01-00-0000-00000001"
HID_CLASS = "{4d1e55b2-f16f-11cf-88cb-001111000030}"
CASE_TIME_LIMIT = 90  # seconds; a hang guard only

TRACE_NAMES = [("0A55", "H"), ("0A56", "N"), ("0A0000", "Q0"), ("0A0001", "Q1"),
               ("0A0600", "F+"), ("0A0601", "F-"), ("0A2000", "E"), ("0A01", "I"),
               ("0A02", "S"), ("0A10", "D"), ("0A03", "V"), ("0A0400", "R"),
               ("0A0402", "B"), ("0A0700", "P+"), ("0A0701", "P-")]


def windows_path(path):
    """A Linux path as Wine's drive Z: shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def device_path(tag, collection=False):
    """A Windows HID path of its own per case: the program's device lock is
    a system-wide named mutex named after the path."""
    col = "&col02" if collection else ""
    return "\\\\?\\hid#vid_248a&pid_8266&mi_01%s#7&%s&0&0000#%s" % (col, tag, HID_CLASS)


def dongle(tag, collection=False, **overrides):
    device = {
        "name": "dongle", "path": device_path(tag, collection), "vendorId": "0x248A",
        "productId": "0x8266", "release": "0x0120", "manufacturer": "Quorvel",
        "product": "Receiver", "typeCode": "0x10", "controllerVersion": INITIAL_VERSION,
        "appVersion": INITIAL_VERSION, "forcedState": 0, "blockSize": 256,
        "timing": {"replyMs": 1, "eraseMs": 10, "blockWriteMs": 0.2, "verifyMs": 5,
                   "usbFrameUs": 0},
        "reboot": {"leaveMs": 20, "awayMs": 400},
    }
    device.update(overrides)
    return device


def passthrough_dongle(tag):
    return dongle(tag, passthrough={"blockSize": 256, "echo": False,
                                    "version": INITIAL_VERSION})


def trace(device):
    names = []
    for request in device.get("requests", []):
        hex_text = request.get("hex", "")
        name = next((short for prefix, short in TRACE_NAMES if hex_text.startswith(prefix)), "X")
        if request.get("ignored"):
            name += "?"
        if name == "D" and names and names[-1] == "D":
            continue
        names.append(name)
    return " ".join(names)


def expected_transfer(data, target, part, version=None):
    return {"target": target, "part": part, "version": version,
            "receivedLength": len(data), "receivedCrc32": "0x%08X" % zlib.crc32(data),
            "receivedSha256": hashlib.sha256(data).hexdigest()}


class Firmware:
    """Firmware files made by quorvel-mkfirmware, and the bytes each one puts
    on the wire, worked out from how it was built."""

    def __init__(self, mkfirmware, directory):
        os.makedirs(directory, exist_ok=True)
        self.dir = directory

        def make(name, *args):
            path = os.path.join(directory, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            subprocess.run([mkfirmware, *args, "--out", path], check=True,
                           stdout=subprocess.DEVNULL)
            with open(path, "rb") as f:
                return path, f.read()

        version = ONE_PART_VERSION.replace("-", ".")
        # A one-part image with 0xFF fill: the whole file is sent. Its folder
        # has a space and Chinese characters ("firmware"): the wide command
        # line must carry them to the file system.
        self.one_path, self.one = make("\u56fa\u4ef6 dir/one.bin", "one-part", "--version",
                                       version, "--size", "1000", "--fill", "64", "--seed", "5")
        self.offset_path, offset = make("offset.bin", "platform3", "--version", version,
                                        "--size", "1000", "--fill", "48", "--seed", "5",
                                        "--offset", "8192")
        self.offset_image = offset[8192:]
        # Controller part at 0x10000, App part at 0x30000; each part's length
        # runs 16 bytes past its data (the loader's 0xFF scan).
        self.two_path, two = make("two.bin", "two-part", "--controller-version",
                                  CONTROLLER_VERSION.replace("-", "."), "--app-version",
                                  APP_VERSION.replace("-", "."), "--controller-size", "1000",
                                  "--app-size", "700", "--controller-end", "0x4A0",
                                  "--app-end", "0x380", "--tail-fill", "256")
        self.controller_part = two[0x10000:0x10000 + 0x4B0]
        self.app_part = two[0x30000:0x30000 + 0x390]
        self.pt_path, self.pt = make("pt.bin", "passthrough", "--size", "700")
        # Large enough that an update holds the device for seconds.
        self.big_path, _ = make("big.bin", "one-part", "--version", version, "--size", "40000",
                                "--fill", "64")


class Run:
    def __init__(self, name, exe_dir, work, scenario, args, stdin=b"", lang="C.UTF-8"):
        self.name = name
        self.exe = os.path.join(exe_dir, "quorvel-dfu.exe")
        self.dir = os.path.join(work, name)
        os.makedirs(self.dir, exist_ok=True)
        self.scenario_path = os.path.join(self.dir, "scenario.json")
        self.record_path = os.path.join(self.dir, "record.json")
        with open(self.scenario_path, "w") as f:
            json.dump(scenario, f, indent=1)
        if os.path.exists(self.record_path):
            os.remove(self.record_path)
        self.args = args
        self.stdin = stdin
        self.env = dict(os.environ, LANG=lang, LC_ALL=lang,
                        QUORVEL_EMU_SCENARIO=windows_path(self.scenario_path),
                        QUORVEL_EMU_RECORD=windows_path(self.record_path))
        self.process = None

    def start(self):
        self.out_file = open(os.path.join(self.dir, "stdout"), "wb")
        self.err_file = open(os.path.join(self.dir, "stderr"), "wb")
        self.started = time.monotonic()
        self.process = subprocess.Popen(
            ["timeout", "-k", "5", str(CASE_TIME_LIMIT), "wine", self.exe, *self.args],
            stdin=subprocess.PIPE, stdout=self.out_file, stderr=self.err_file, env=self.env)
        self.process.stdin.write(self.stdin)
        self.process.stdin.close()
        return self

    def output_so_far(self):
        with open(os.path.join(self.dir, "stdout"), "rb") as f:
            return f.read()

    def finish(self):
        self.status = self.process.wait()
        self.seconds = time.monotonic() - self.started
        self.out_file.close()
        self.err_file.close()
        self.out = self.output_so_far()
        with open(os.path.join(self.dir, "stderr"), "rb") as f:
            self.err = f.read()
        try:
            with open(self.record_path) as f:
                self.record = json.load(f)
        except (OSError, ValueError):
            self.record = {}
        return self

    def device(self, name="dongle"):
        return self.record.get("devices", {}).get(name, {})

    def text(self):
        """Standard output with Windows line ends made plain."""
        return self.out.replace(b"\r\n", b"\n")


class Judge:
    def __init__(self):
        self.failures = []
        self.passed = 0

    def case(self, label, problems, run):
        if problems:
            self.failures.append(label)
            print("FAIL %s" % label)
            for problem in problems:
                print("     %s" % problem)
            print("     exit status %s after %.1f s; stdout %r; stderr %r" %
                  (run.status, run.seconds, run.out[-400:], run.err[-400:]))
        else:
            self.passed += 1
            print("ok   %s (%.1f s)" % (label, run.seconds))


def result_line(run, text):
    """The output ends with the result line: the text and the total time."""
    last = run.text().rstrip(b"\n").split(b"\n")[-1]
    return re.fullmatch(rb">> " + re.escape(text) + rb" \(\d+\.\d{3}s\)", last) is not None


def update_problems(run, expect_trace, transfers, controller, app, forced=None,
                    passthrough_sha=None):
    problems = []
    if run.status != 0:
        problems.append("exit status %s, expected 0" % run.status)
    if not result_line(run, b"DFU success!"):
        problems.append("the last line is not 'DFU success!' with its time")
    device = run.device()
    if not device:
        problems.append("no record of the device")
        return problems
    if trace(device) != expect_trace:
        problems.append("requests %r, expected %r" % (trace(device), expect_trace))
    got = device.get("transfers", [])
    if len(got) != len(transfers):
        problems.append("%d transfers, expected %d" % (len(got), len(transfers)))
    for index, (have, want) in enumerate(zip(got, transfers)):
        for key, value in want.items():
            if value is not None and have.get(key) != value:
                problems.append("transfer %d: %s %r, expected %r" % (index, key, have.get(key),
                                                                    value))
        if have.get("verified") is not True or have.get("declaredLength") != want[
                "receivedLength"]:
            problems.append("transfer %d was not received completely and verified" % index)
    final = device.get("final", {})
    if final.get("controllerVersion") != controller or final.get("appVersion") != app:
        problems.append("versions afterwards %s / %s, expected %s / %s" % (
            final.get("controllerVersion"), final.get("appVersion"), controller, app))
    if forced is not None and final.get("forcedUpgradeMode") != forced:
        problems.append("forced upgrade mode afterwards %r" % final.get("forcedUpgradeMode"))
    if passthrough_sha is not None and final.get("passthroughImageSha256") != passthrough_sha:
        problems.append("the passthrough device holds %r" % final.get("passthroughImageSha256"))
    if device.get("protocolErrors"):
        problems.append("protocol errors: %r" % device.get("protocolErrors"))
    return problems


def run_updates(args, firmware, judge):
    fw = firmware
    one = expected_transfer(fw.one, "device", None, ONE_PART_VERSION)
    controller = expected_transfer(fw.controller_part, "device", "controller", CONTROLLER_VERSION)
    app = expected_transfer(fw.app_part, "device", "app", APP_VERSION)
    pt = expected_transfer(fw.pt, "passthrough", None)
    offset = expected_transfer(fw.offset_image, "device", None, ONE_PART_VERSION)
    pt_sha = hashlib.sha256(fw.pt).hexdigest()
    one_arg = windows_path(fw.one_path)
    cases = [
        # label, device, arguments, trace, transfers, controller, app, forced, passthrough
        ("platform 0", dongle("p0"), ["-s", "0", "-d", one_arg],
         "H E I S D V R Q0", [one], ONE_PART_VERSION, INITIAL_VERSION, None, None),
        ("platform 1, two parts, Controller first", dongle("p1c"),
         ["-s", "1", "-d", windows_path(fw.two_path), "-i", "0"],
         "H E I S D V R Q0 H E I S D V R Q1", [controller, app], CONTROLLER_VERSION,
         APP_VERSION, None, None),
        ("platform 1, two parts, App first", dongle("p1a"),
         ["-s", "1", "-d", windows_path(fw.two_path), "-i", "1"],
         "H E I S D V R Q1 H E I S D V R Q0", [app, controller], CONTROLLER_VERSION,
         APP_VERSION, None, None),
        ("platform 2", dongle("p2"), ["-s", "2", "-d", one_arg],
         "H E I S D V R Q0", [one], ONE_PART_VERSION, INITIAL_VERSION, None, None),
        ("platform 3, image behind 8192 bytes", dongle("p3"),
         ["-s", "3", "-d", windows_path(fw.offset_path)],
         "H F+ E I S D V R", [offset], ONE_PART_VERSION, INITIAL_VERSION, True, None),
        ("platform 4, -d", passthrough_dongle("p4d"), ["-s", "4", "-d", one_arg],
         "H F+ E I S D V R Q0 F-", [one], ONE_PART_VERSION, INITIAL_VERSION, False, None),
        ("platform 4, -t", passthrough_dongle("p4t"),
         ["-s", "4", "-t", windows_path(fw.pt_path)],
         "H H P+ I S D V P- R", [pt], INITIAL_VERSION, INITIAL_VERSION, None, pt_sha),
        ("platform 4, -d and -t", passthrough_dongle("p4dt"),
         ["-s", "4", "-d", one_arg, "-t", windows_path(fw.pt_path)],
         "H F+ E I S D V R Q0 F- H P+ I S D V P- R", [one, pt], ONE_PART_VERSION,
         INITIAL_VERSION, False, pt_sha),
        ("collection-mode device (64-byte reports, report ID 0x0A)",
         dongle("col", collection=True), ["-s", "0", "-d", one_arg],
         "H E I S D V R Q0", [one], ONE_PART_VERSION, INITIAL_VERSION, None, None),
    ]
    runs = []
    for index, case in enumerate(cases):
        label, device, arguments = case[0], case[1], case[2]
        scenario = {"devices": [device]}
        runs.append((case, Run("update-%d" % index, args.exe_dir, args.work, scenario,
                               ["248a", "8266", *arguments])))
    for case, run in parallel(runs, args.jobs):
        label, _, _, expect_trace, transfers, ctrl, app_v, forced, pt_expected = case
        judge.case(label, update_problems(run, expect_trace, transfers, ctrl, app_v, forced,
                                          pt_expected), run)


def parallel(runs, jobs):
    """Starts at most jobs runs at a time; yields (case, finished run) in order."""
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        futures = [(case, pool.submit(lambda r: r.start().finish(), run)) for case, run in runs]
        for case, future in futures:
            yield case, future.result()


def gbk(text):
    return text.encode("gbk")


def run_prompt_and_locale(args, firmware, judge):
    # The prompt: HELP in capitals (the line is lowercased), cv, then a ctrl
    # that restarts the chip and ends the program.
    prompt = Run("prompt", args.exe_dir, args.work,
                 {"devices": [dongle("prompt", controllerVersion=CONTROLLER_VERSION,
                                     appVersion=APP_VERSION)]},
                 [], stdin=b"HELP\r\ncv\r\nctrl 248a 8266 -r 1\r\n")
    # Chinese: a Chinese locale gives code page 936, so a redirected output
    # carries the Chinese texts as GBK bytes.
    chinese = Run("chinese", args.exe_dir, args.work,
                  {"devices": [dongle("zh")]},
                  ["248a", "8266", "-s", "0", "-d", windows_path(firmware.one_path)],
                  lang="zh_CN.UTF-8")
    chinese_prompt = Run("chinese-prompt", args.exe_dir, args.work, {"devices": []}, [],
                         stdin=b"v\r\n", lang="zh_CN.UTF-8")
    results = dict(parallel([("prompt", prompt), ("zh", chinese), ("zhp", chinese_prompt)],
                            args.jobs))

    run = results["prompt"]
    text = run.text()
    problems = []
    if run.status != 0:
        problems.append("exit status %s" % run.status)
    if not text.startswith(b"Quorvel DFU V0.0.7\n"):
        problems.append("no banner first")
    if text.count(b"Support commands:") != 2:
        problems.append("HELP at the prompt did not print the help again")
    if b"05-06-0708-090A0B0C" not in text or b"06-07-0809-0A0B0C0D" not in text:
        problems.append("cv did not report both versions")
    if b"control success!" not in text:
        problems.append("the ctrl command did not report success")
    if trace(run.device()) != "H N Q0 Q1 H R":
        problems.append("requests %r, expected 'H N Q0 Q1 H R'" % trace(run.device()))
    judge.case("prompt: HELP, cv, ctrl -r 1", problems, run)

    run = results["zh"]
    problems = update_problems(run, "H E I S D V R Q0",
                               [expected_transfer(firmware.one, "device", None,
                                                  ONE_PART_VERSION)],
                               ONE_PART_VERSION, INITIAL_VERSION)
    problems = [p for p in problems if "DFU success" not in p]
    if not result_line(run, gbk("DFU \u6210\u529f\uff01")):
        problems.append("the result line is not 'DFU success!' in Chinese as GBK bytes")
    judge.case("Chinese locale: result line in GBK", problems, run)

    run = results["zhp"]
    problems = []
    if not run.text().startswith(b"Quorvel DFU V0.0.7\n"):
        problems.append("no banner first")
    # The help's Chinese lines, as GBK: "support commands" in Chinese.
    help_gbk = gbk("\u652f\u6301\u547d\u4ee4")
    if help_gbk not in run.out:
        problems.append("the Chinese help is not in GBK")
    try:
        run.out.decode("utf-8")
        problems.append("the Chinese output is UTF-8, not GBK")
    except UnicodeDecodeError:
        pass
    judge.case("Chinese locale: banner and help at the prompt in GBK", problems, run)


def run_lock_and_failure(args, firmware, judge):
    # The first instance holds the device through a slow download (160
    # blocks of 100 ms each); a second instance at the prompt must not get at
    # it while it does, and gets it once the first one has ended.
    slow = dongle("held", timing={"replyMs": 1, "eraseMs": 10, "blockWriteMs": 100,
                                  "verifyMs": 5, "usbFrameUs": 0})
    holder = Run("lock-holder", args.exe_dir, args.work, {"devices": [slow]},
                 ["248a", "8266", "-s", "0", "-d", windows_path(firmware.big_path)]).start()
    deadline = time.monotonic() + 60
    # The progress line starts once the device answered and is held.
    while not holder.output_so_far() and time.monotonic() < deadline:
        if holder.process.poll() is not None:
            break
        time.sleep(0.1)
    second = Run("lock-second", args.exe_dir, args.work, {"devices": [dongle("held")]}, [],
                 stdin=b"cv\r\nexit\r\n").start().finish()
    holder.finish()
    after = Run("lock-after", args.exe_dir, args.work, {"devices": [dongle("held")]}, [],
                stdin=b"cv\r\nexit\r\n").start().finish()
    problems = []
    if holder.status != 0:
        problems.append("the holding instance ended with %s" % holder.status)
    if second.status != 0:
        problems.append("the second instance ended with %s" % second.status)
    if second.device().get("requests"):
        problems.append("the second instance talked to the held device: %s" %
                        trace(second.device()))
    if b"Version: " in second.text():
        problems.append("the second instance read the versions of the held device")
    if b"Version: 01-00-0000-00000001" not in after.text():
        problems.append("once free, cv did not report the version")
    if trace(after.device()) != "H N Q0 Q1":
        problems.append("once free, cv sent %r, expected 'H N Q0 Q1'" % trace(after.device()))
    judge.case("named mutex keeps a second instance off a held device", problems, second)

    failing = dongle("fail", faults=[{"command": "0x03", "action": "status", "value": 1}])
    run = Run("failure", args.exe_dir, args.work, {"devices": [failing]},
              ["248a", "8266", "-s", "0", "-d", windows_path(firmware.one_path)]).start().finish()
    problems = []
    if run.status != 1:
        problems.append("exit status %s, expected 1" % run.status)
    if b"DFU success!" in run.out:
        problems.append("a failed update reported success")
    if trace(run.device()) != "H E I S D V":
        problems.append("requests %r, expected 'H E I S D V'" % trace(run.device()))
    judge.case("failed update: exit status 1", problems, run)

    # Wine gives devices no location paths: the station cannot pin a device
    # to a port, so it refuses before it touches one.
    run = Run("station", args.exe_dir, args.work, {"devices": [dongle("station")]},
              ["248a", "8266", "-s", "0", "-d", windows_path(firmware.one_path), "--station",
               "--log", windows_path(os.path.join(args.work, "station.jsonl"))]).start().finish()
    problems = []
    if run.status != 2:
        problems.append("exit status %s, expected 2" % run.status)
    if b"the system does not tell USB ports here" not in run.err:
        problems.append("no reason on standard error")
    if run.device().get("requests") or run.device().get("opens"):
        problems.append("the station touched the device: %r" % trace(run.device()))
    judge.case("station under Wine: refused, no port to pin a device to", problems, run)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe-dir", required=True)
    parser.add_argument("--mkfirmware", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--jobs", type=int, default=3)
    args = parser.parse_args()
    firmware = Firmware(args.mkfirmware, os.path.join(args.work, "firmware"))
    judge = Judge()
    run_updates(args, firmware, judge)
    run_prompt_and_locale(args, firmware, judge)
    run_lock_and_failure(args, firmware, judge)
    print("wine: %d passed, %d failed" % (judge.passed, len(judge.failures)))
    return 1 if judge.failures else 0


if __name__ == "__main__":
    sys.exit(main())
