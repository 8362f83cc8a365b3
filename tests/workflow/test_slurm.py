#!/usr/bin/python3
"""The README's Slurm commands, run as written on a one-node Slurm cluster
started here (munged, slurmctld and slurmd of Debian's packages, with their
configuration, sockets, ports and state in the scratch folder): the build,
the dry run and the --slurm run, the --cluster "sbatch ..." run and the
profile run each convert a pelgsim study of three recordings. Each
conversion must have been a Slurm job (the job completion log and the job
logs) asking for the memory and time the README states, and study.csv and
the outputs must equal those of scripts/convert-study.sh on this machine.
The daemons are stopped by their process ids whatever the outcome (and
should the test be killed, by a watcher process that outlives it).

Needs root (slurmd starts the jobs as their users) and the packages slurm-wlm
and munge (scripts/install-deps.sh); fails without them, unless
PELG_SKIP_SLURM_TEST=1, which skips it (exit status 77).

Usage: test_slurm.py PELGSIM REPO SCRATCH_DIR
"""

import ctypes
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_study  # noqa: E402

REPO = SCRATCH = None
CLUSTER = None
RECORDING_COUNT = 3
PARTITION = "pelgtest"
ACCOUNT = "pelgstudy"
DAEMONS = ("munged", "slurmctld", "slurmd")
PROGRAMS = DAEMONS + ("mungekey", "sbatch", "squeue", "scontrol", "scancel", "sinfo", "srun")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _die_with_parent():
    # The daemons go when this process goes, even when it is killed.
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def kill_the_rest(conf):
    """Kills, by process id, what still runs with the cluster's configuration
    in its environment: the daemons, their children (slurmstepd, the jobs)
    and the Snakemake runs. Returns their ids."""
    killed = []
    mark = ("SLURM_CONF=" + conf).encode()
    for pid in [int(d) for d in os.listdir("/proc") if d.isdigit() and int(d) != os.getpid()]:
        try:
            with open("/proc/%d/environ" % pid, "rb") as f:
                if mark not in f.read().split(b"\0"):
                    continue
            os.kill(pid, signal.SIGKILL)
            killed.append(pid)
        except OSError:
            pass
    return killed


def reap(conf):
    """The watcher of a test run: waits for the run to close its end of the
    pipe, as it does when it ends in any way (killed too), and kills what
    is left of its cluster."""
    sys.stdin.buffer.read()
    killed = kill_the_rest(conf)
    if killed:
        print("test_slurm.py: killed what the run left: %s" % killed, file=sys.stderr)


class Cluster:
    """One node, one partition, no accounting daemon: the job completion
    log (jobcomp/filetxt) tells which jobs ran and what each asked for."""

    def __init__(self, folder):
        self.folder = folder
        self.processes = {}
        shutil.rmtree(folder, ignore_errors=True)
        for sub in ("state", "spool"):
            os.makedirs(os.path.join(folder, sub))
        os.chmod(folder, 0o755)  # munged wants its socket's folder open to all
        self.conf = os.path.join(folder, "slurm.conf")
        self.socket = os.path.join(folder, "munge.socket")
        self.jobcomp = os.path.join(folder, "jobcomp.txt")
        self.env = dict(os.environ, SLURM_CONF=self.conf)
        node = subprocess.run(["slurmd", "-C"], capture_output=True, text=True, check=True).stdout
        node = next(line for line in node.splitlines() if line.startswith("NodeName="))
        self.node = node.split()[0].split("=")[1]
        with open(self.conf, "w") as f:
            f.write("\n".join([
                "ClusterName=pelgtest",
                "SlurmctldHost=localhost",
                "SlurmUser=root",
                "SlurmctldPort=%d" % free_port(),
                "SlurmdPort=%d" % free_port(),
                "AuthType=auth/munge",
                "CredType=cred/munge",
                "AuthInfo=socket=" + self.socket,
                "StateSaveLocation=" + os.path.join(folder, "state"),
                "SlurmdSpoolDir=" + os.path.join(folder, "spool"),
                "SlurmctldPidFile=" + os.path.join(folder, "slurmctld.pid"),
                "SlurmdPidFile=" + os.path.join(folder, "slurmd.pid"),
                "ProctrackType=proctrack/linuxproc",
                "TaskPlugin=task/none",
                "JobAcctGatherType=jobacct_gather/none",
                "AccountingStorageType=accounting_storage/none",
                "JobCompType=jobcomp/filetxt",
                "JobCompLoc=" + self.jobcomp,
                "SelectType=select/cons_tres",
                "SelectTypeParameters=CR_Core_Memory",
                "MpiDefault=none",
                "MailProg=/bin/true",
                "ReturnToService=2",
                node + " NodeAddr=127.0.0.1 State=UNKNOWN",
                "PartitionName=%s Nodes=ALL Default=YES MaxTime=INFINITE State=UP" % PARTITION,
            ]) + "\n")

    def start(self, name, args):
        log = open(os.path.join(self.folder, name + ".log"), "w")
        self.processes[name] = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log,
                                                stderr=subprocess.STDOUT, env=self.env,
                                                preexec_fn=_die_with_parent)
        log.close()

    def log(self, name):
        with open(os.path.join(self.folder, name + ".log"), errors="replace") as f:
            return f.read()

    def up(self):
        key = os.path.join(self.folder, "munge.key")
        subprocess.run(["mungekey", "--create", "--keyfile=" + key], check=True)
        self.start("munged", ["munged", "--foreground", "--key-file=" + key, "--socket=" + self.socket,
                              "--pid-file=" + os.path.join(self.folder, "munged.pid"),
                              "--seed-file=" + os.path.join(self.folder, "munged.seed")])
        self.wait_for(lambda: os.path.exists(self.socket), "munged's socket")
        self.start("slurmctld", ["slurmctld", "-D", "-i"])
        self.start("slurmd", ["slurmd", "-D"])
        self.wait_for(lambda: self.run("sinfo", "-h", "-o", "%T").stdout.strip() == "idle",
                      "the node to be idle")

    def wait_for(self, ready, what, seconds=120):
        end = time.monotonic() + seconds
        while not ready():
            for name, p in self.processes.items():
                if p.poll() is not None:
                    raise RuntimeError("%s ended (status %d) while waiting for %s:\n%s"
                                       % (name, p.returncode, what, self.log(name)[-3000:]))
            if time.monotonic() > end:
                raise RuntimeError("no %s after %d s:\n%s" % (
                    what, seconds, "\n".join(self.log(n)[-2000:] for n in self.processes)))
            time.sleep(0.5)

    def run(self, *args):
        return subprocess.run(list(args), capture_output=True, text=True, env=self.env)

    def queue(self):
        return self.run("squeue", "-h", "-o", "%i").stdout.split()

    def jobs(self):
        """The job completion log: one dict per job that ended."""
        if not os.path.exists(self.jobcomp):
            return []
        with open(self.jobcomp) as f:
            return [dict(re.findall(r"(\w+)=(\S*)", line)) for line in f if line.strip()]

    def down(self):
        """Cancels what is left in the queue, then stops the daemons and
        whatever they started, by process id."""
        stopped = []
        if self.processes.get("slurmctld") and self.processes["slurmctld"].poll() is None:
            left = self.queue()
            if left:
                self.run("scancel", *left)
                try:
                    self.wait_for(lambda: not self.queue(), "the queue to empty", 60)
                except RuntimeError as e:
                    print(e, file=sys.stderr)
        for name in reversed(DAEMONS):
            p = self.processes.get(name)
            if p is None:
                continue
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(30)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
            stopped.append("%s (pid %d)" % (name, p.pid))
        stopped += ["pid %d" % pid for pid in kill_the_rest(self.conf)]
        print("stopped " + ", ".join(stopped), file=sys.stderr)


def readme_commands():
    """The sh blocks of the README's Slurm section, by the Snakemake option
    each is about."""
    with open(os.path.join(REPO, "README.md")) as f:
        text = f.read()
    section = text[text.index("### On a Slurm cluster"):]
    section = section[:section.index("\n## ")]
    blocks = re.findall(r"```sh\n(.*?)```", section, re.S)
    found = {}
    for form in ("--slurm ", "--cluster ", "--profile "):
        found[form.strip()] = [b for b in blocks if form in b]
    return found, blocks


def as_run_here(block, out):
    """A README block with its placeholders made this test's folders, the
    test cluster's partition and a made-up account."""
    places = {
        "/path/to/pelgToMatlab/build/study": os.path.join(SCRATCH, "build-study"),
        "build/study": os.path.join(SCRATCH, "build-study"),
        "/path/to/pelgToMatlab": REPO,
        "/shared/study": os.path.join(SCRATCH, "study"),
        "/shared/converted": out,
        "MYACCOUNT": ACCOUNT,
        "MYPARTITION": PARTITION,
    }
    pattern = "|".join(re.escape(k) for k in sorted(places, key=len, reverse=True))
    script = re.sub(pattern, lambda m: places[m.group(0)], block)
    left = re.findall(r"/shared/\S*|/path/to\S*|\bMY[A-Z]+\b", script)
    if left:
        raise AssertionError("placeholders this test does not know: %s" % left)
    return script


def recordings_of(out):
    with open(os.path.join(out, "recordings.json")) as f:
        return {r["name"]: r for r in json.load(f)["recordings"]}


class SlurmCommands(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.recordings, _, _ = test_study.make_study(os.path.join(SCRATCH, "study"), RECORDING_COUNT)
        cls.blocks, cls.all_blocks = readme_commands()
        # The profile goes into ~/.config/snakemake: a home of the test's own.
        # USER is left unset, as it is in many batch environments.
        env = {k: v for k, v in CLUSTER.env.items() if k != "USER"}
        env["HOME"] = os.path.join(SCRATCH, "home")
        cls.runs = {}
        for form, blocks in cls.blocks.items():
            out = os.path.join(SCRATCH, "converted" + form.replace("--", "-"))
            shutil.rmtree(out, ignore_errors=True)
            started = time.monotonic()
            runs = [subprocess.run(["bash", "-e", "-c", as_run_here(b, out)], cwd=REPO, env=env,
                                   stdin=subprocess.DEVNULL, capture_output=True, text=True)
                    for b in blocks]
            cls.runs[form] = (out, runs, time.monotonic() - started)
            print("%s: %.0f s" % (form, time.monotonic() - started), file=sys.stderr)
        # The conversions on this machine alone, with the binaries just built.
        cls.local = os.path.join(SCRATCH, "converted-local")
        shutil.rmtree(cls.local, ignore_errors=True)
        cls.local_run = subprocess.run(
            [os.path.join(REPO, "scripts", "convert-study.sh"), os.path.join(SCRATCH, "study"), cls.local],
            env=dict(os.environ, STUDY_BUILD_DIR=os.path.join(SCRATCH, "build-study")),
            stdin=subprocess.DEVNULL, capture_output=True, text=True)
        CLUSTER.wait_for(lambda: not CLUSTER.queue(), "the queue to empty")

    def test_the_readme_has_each_form_once(self):
        self.assertEqual({form: len(b) for form, b in self.blocks.items()},
                         {"--slurm": 1, "--cluster": 1, "--profile": 1})
        self.assertEqual(sum(len(b) for b in self.blocks.values()), len(self.all_blocks))

    def test_each_form_converts_like_the_local_run(self):
        self.assertEqual(self.local_run.returncode, 0, self.local_run.stderr[-3000:])
        with open(os.path.join(self.local, "study.csv")) as f:
            local_table = f.read()
        for form, (out, runs, _) in self.runs.items():
            with self.subTest(form=form):
                for run in runs:
                    self.assertEqual(run.returncode, 0, run.stdout[-2000:] + run.stderr[-4000:])
                with open(os.path.join(out, "study.csv")) as f:
                    self.assertEqual(f.read(), local_table)
                for name in self.recordings:
                    test_study.assert_same_outputs(self, os.path.join(out, name),
                                                   os.path.join(self.local, name), form + " " + name)

    def test_the_dry_run_lists_the_conversions(self):
        _, runs, _ = self.runs["--slurm"]
        counts = test_study.job_counts(runs[0].stdout + runs[0].stderr)
        self.assertEqual(counts.get("convert"), RECORDING_COUNT, counts)

    def test_each_conversion_was_a_slurm_job_asking_what_the_readme_states(self):
        jobs = CLUSTER.jobs()
        for form, (out, _, _) in self.runs.items():
            with self.subTest(form=form):
                listing = recordings_of(out)
                ran = {}
                for job in (j for j in jobs if j["WorkDir"] == out):
                    self.assertEqual((job["JobState"], job["Partition"], job["NodeList"]),
                                     ("COMPLETED", PARTITION, CLUSTER.node), job)
                    ran.setdefault(self.recording_of(form, out, job), []).append(job)
                self.assertEqual(sorted(ran), sorted(self.recordings))
                for name, (job,) in ran.items():
                    # mem_mb = 500 whatever the length, runtime = 10 minutes + one per 600 MB.
                    mb = listing[name]["size_bytes"] / 1e6
                    self.assertEqual(dict(re.findall(r"(\w+)=(\w+)", job["Tres"].replace(",", " ")))["mem"],
                                     "500M", job)
                    self.assertEqual(int(job["TimeLimit"]), int(10 + mb / 600), job)
                    self.assertEqual(job["ProcCnt"], "1", job)
                    if form == "--cluster":
                        self.assertEqual(job["Account"], ACCOUNT)

    def recording_of(self, form, out, job):
        """The recording a job converted, from its name or its job log."""
        if form == "--cluster":
            self.assertTrue(job["Name"].startswith("pelg-"), job)
            with open(os.path.join(out, "slurm-logs", job["JobId"] + ".out")) as f:
                self.assertIn("rule convert:", f.read())
            return job["Name"][len("pelg-"):]
        with open(os.path.join(out, ".snakemake", "slurm_logs", "rule_convert", job["JobId"] + ".log")) as f:
            names = re.findall(r"wildcards: recording=(\S+)", f.read())
        self.assertEqual(len(set(names)), 1, job)
        return names[0]


def main():
    global REPO, SCRATCH, CLUSTER
    if sys.argv[1] == "--reap":
        return reap(sys.argv[2])
    pelgsim, REPO, SCRATCH = (os.path.abspath(a) for a in sys.argv[1:4])
    test_study.PELGSIM = pelgsim
    if os.environ.get("PELG_SKIP_SLURM_TEST") == "1":
        print("skipped: PELG_SKIP_SLURM_TEST=1")
        sys.exit(77)
    missing = [p for p in PROGRAMS if shutil.which(p, path="/usr/sbin:/usr/bin:/sbin:/bin") is None]
    if missing:
        sys.exit("cannot start a Slurm cluster: %s missing (install slurm-wlm and munge: "
                 "scripts/install-deps.sh), or set PELG_SKIP_SLURM_TEST=1 to skip this test"
                 % " ".join(missing))
    if os.geteuid() != 0:
        sys.exit("cannot start a Slurm cluster: slurmd needs root; run as root, or set "
                 "PELG_SKIP_SLURM_TEST=1 to skip this test")
    shutil.rmtree(SCRATCH, ignore_errors=True)
    os.makedirs(SCRATCH)
    test_study.SCRATCH = SCRATCH
    os.environ["PATH"] = "/usr/sbin:/sbin:" + os.environ.get("PATH", "/usr/bin:/bin")

    # A stop by signal runs the finally below as well.
    def stop(signum, frame):
        raise SystemExit(128 + signum)
    for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(s, stop)
    CLUSTER = Cluster(os.path.join(SCRATCH, "cluster"))
    # Should this run be killed before its finally, the watcher, in a
    # session of its own, still stops the cluster.
    watcher = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--reap", CLUSTER.conf],
                               stdin=subprocess.PIPE, start_new_session=True)
    ok = False
    try:
        started = time.monotonic()
        CLUSTER.up()
        print("cluster up in %.1f s" % (time.monotonic() - started), file=sys.stderr)
        result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
        ok = result.wasSuccessful()
    finally:
        CLUSTER.down()
        watcher.stdin.close()
        watcher.wait()
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
