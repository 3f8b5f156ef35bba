"""Times commands the way the benchmark scripts compare them: each command is started
directly, without a shell (a shell would add its own start to the figure), run after run
in turn with the others, so that a machine whose speed drifts touches all alike; each run
gives its wall time and the CPU time (user + system) of its processes, from the kernel's
accounting of the finished child. The machine is shared: figures are ratios of medians,
printed with the load average before and after.
"""
import os
import shlex
import statistics
import sys
import tempfile
import time


class Step:
    """One pipeline of processes: `stages` are argument lists, each one's standard output
    going to the next one's input, the last one's to `output` (a path, /dev/null by
    default), appended to with `append`."""

    def __init__(self, *stages, output=os.devnull, append=False):
        self.stages = [list(map(str, stage)) for stage in stages]
        self.output = output
        self.append = append

    def text(self):
        shown = " | ".join(shlex.join(stage) for stage in self.stages)
        return f"{shown} {'>>' if self.append else '>'} {shlex.quote(self.output)}"


class Command:
    """What one timed run does: one or more steps, run one after the other. Built from an
    argument list for a single process with its output to /dev/null."""

    def __init__(self, name, *steps, check=True, summary=None):
        self.name = name
        self.steps = [step if isinstance(step, Step) else Step(step) for step in steps]
        self.check = check  # a failing step stops the benchmark
        self.summary = summary  # how to print a long list of steps

    def text(self):
        if self.summary:
            return self.summary
        return "; ".join(step.text() for step in self.steps)


# Standard error of the runs, shown when one fails.
ERRORS = tempfile.TemporaryFile()


def run_step(step, env=None):
    """Runs one pipeline to its end; returns (CPU seconds, exit status of its last stage)."""
    flags = os.O_WRONLY | os.O_CREAT | (os.O_APPEND if step.append else os.O_TRUNC)
    output = os.open(step.output, flags, 0o644)
    ERRORS.seek(0)
    ERRORS.truncate()
    pids = []
    previous_read = None
    try:
        for i, stage in enumerate(step.stages):
            last = i == len(step.stages) - 1
            actions = [(os.POSIX_SPAWN_DUP2, ERRORS.fileno(), 2)]
            if previous_read is not None:
                actions.append((os.POSIX_SPAWN_DUP2, previous_read, 0))
            if last:
                actions.append((os.POSIX_SPAWN_DUP2, output, 1))
                next_read = None
            else:
                next_read, write_end = os.pipe()
                actions.append((os.POSIX_SPAWN_DUP2, write_end, 1))
                actions.append((os.POSIX_SPAWN_CLOSE, next_read))
            pids.append(os.posix_spawnp(stage[0], stage, env or os.environ,
                                        file_actions=actions))
            if not last:
                os.close(write_end)
            if previous_read is not None:
                os.close(previous_read)
            previous_read = next_read
    finally:
        os.close(output)
    cpu = 0.0
    status = 0
    for pid in pids:
        _, wait_status, usage = os.wait4(pid, 0)
        cpu += usage.ru_utime + usage.ru_stime
        status = os.waitstatus_to_exitcode(wait_status)
    return cpu, status


def run_once(command, env=None):
    """One run of `command`: (wall seconds, CPU seconds)."""
    cpu = 0.0
    start = time.perf_counter()
    for step in command.steps:
        step_cpu, status = run_step(step, env)
        cpu += step_cpu
        if status != 0 and command.check:
            ERRORS.seek(0)
            errors = ERRORS.read().decode(errors="replace")[-2000:]
            sys.exit(f"{command.name} failed (exit {status}): {step.text()}\n{errors}")
    return time.perf_counter() - start, cpu


class Figures:
    """The wall and CPU times of every run of each command, by name."""

    def __init__(self, names):
        self.wall = {name: [] for name in names}
        self.cpu = {name: [] for name in names}

    def median_wall(self, name):
        return statistics.median(self.wall[name])

    def median_cpu(self, name):
        return statistics.median(self.cpu[name])


def alternate(commands, runs, before_each=None, after_each=None, warm_up=True, env=None):
    """Runs every command of `commands` once per round, in turn, for `runs` rounds (after
    one untimed round that warms the page cache, unless `warm_up` is false).
    `before_each(command)` and `after_each(command)` run untimed before and after every run
    (to set the fixture up again, to check what the run did)."""
    figures = Figures([command.name for command in commands])
    for round_number in range(runs + (1 if warm_up else 0)):
        for command in commands:
            if before_each:
                before_each(command)
            wall, cpu = run_once(command, env)
            if after_each:
                after_each(command)
            if warm_up and round_number == 0:
                continue
            figures.wall[command.name].append(wall)
            figures.cpu[command.name].append(cpu)
    return figures


def load_average():
    return "load average %.2f %.2f %.2f on %d cores" % (*os.getloadavg(), os.cpu_count())


def print_commands(commands):
    for command in commands:
        print(f"  {command.name}: {command.text()}")


def print_comparison(figures, subject, reference, runs, goal=None, scale=1000.0, unit="ms"):
    """The medians of both commands and their ratios, wall and CPU."""
    for name in (subject, reference):
        print(f"  {name:24} median wall {figures.median_wall(name) * scale:9.2f} {unit}, "
              f"CPU {figures.median_cpu(name) * scale:9.2f} {unit}  ({runs} runs)")
    wall = figures.median_wall(subject) / figures.median_wall(reference)
    cpu = figures.median_cpu(subject) / figures.median_cpu(reference)
    goal_text = f" (goal <= {goal})" if goal is not None else ""
    print(f"  ratio {subject} / {reference}: wall {wall:.2f}, CPU {cpu:.2f}{goal_text}")
    return wall, cpu


def fixture_check(condition, text):
    """Stops the benchmark when its fixture lacks the property it claims."""
    if not condition:
        sys.exit("fixture check failed: " + text)
    print("  fixture: " + text)


def is_sparse(path):
    """True when the file takes less room on disk than its size (it has holes)."""
    info = os.stat(path)
    return info.st_blocks * 512 < info.st_size
