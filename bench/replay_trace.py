#!/usr/bin/env python3
"""Replays a task-cost trace (KORV_TRACE=FILE, core/task_trace.h) through the work-splitting rule.

    bench/replay_trace.py TRACE [--ranks 4,8,...,1024] [--threads-per-rank 1]
                                [--latency-us 50] [--write-rate MB/s]

The trace is the search tree of a serial run with what each subtree cost. The replay runs it on
ranks x threads workers as the scheduler does:
  - every rank does the serial root (reading, single items) first; then worker 0 holds the root
    task and the others are idle;
  - before each node, a worker that sees an idle one hands it the later half of the unstarted
    children at its shallowest level with any (at its current level the next child stays);
    the task reaches the idle worker after the hand-over latency, except between threads of
    rank 0, where the scheduler runs;
  - a node whose children the trace does not list is one indivisible task;
  - rank 0 writes every pattern in serial order, each once it has been found and the ones before
    it are written, at the traced write time (or at --write-rate), on a core of its own.
The search costs exclude writing, which only rank 0 does.

Per rank count it prints the predicted time, the speed-up over the traced serial run (which
wrote as it searched), the efficiency (speed-up per worker), when the search and when rank 0's
writing would be done, three ceilings of the speed-up: share (the serial root and end with the
search shared perfectly), task (the root, then the longest chain of nodes down to an indivisible
task) and write (rank 0 writing everything after the root), and what binds:
  write  rank 0 writes for over 5 % longer than the search takes: its write rate, and the order
         in which it must write, which holds back what the other ranks found until the head is
         done;
  task   the search ends within 15 % of the task ceiling;
  root   the search ends within 15 % of the share ceiling, and the serial root and end take a
         quarter of it or more;
  share  the same with a shorter root: the search is well shared, nothing binds;
  rule   none of these: the splitting rule and the hand-over latency leave workers idle.
"""

import argparse
import bisect
import heapq
import sys

NANOS = 1e-9
INF = float("inf")


class TraceError(Exception):
    pass


class Tree:
    """The trace's lines in pre-order: nodes, and runs of indivisible siblings (count > 1), with
    search and write costs in seconds."""

    def __init__(self):
        self.count = []    # per line: 1 for a node, else the siblings of a run
        self.parent = []   # per line: its parent's line, -1 for the single items
        self.kids = []     # per line: its children as a level (see level_of), or None: indivisible
        self.cost = []     # per line: its own search cost (with children listed) or the whole
        self.write = []    # per line: write time of its own pattern, or of everything below
        self.top = None    # the single items as a level
        self.subtree_top = 0.0
        self.totals = {}


def level_of(lines, count):
    """Children as the replay walks them: their lines and, per line, how many children come
    before it (one more entry at the end: how many there are). The costs before each line are
    added once the costs are known (add_work)."""
    before = [0]
    for line in lines:
        before.append(before[-1] + count[line])
    return [lines, before, None]


def add_work(level, work):
    """Per line of the level, the search cost of the lines before it, with everything below them."""
    cumulative = [0.0]
    for line in level[0]:
        cumulative.append(cumulative[-1] + work[line])
    level[2] = cumulative


def work_between(level, work, count, first, end):
    """The search cost of children first .. end - 1 of the level, with everything below them."""
    lines, before, cumulative = level[0], level[1], level[2]

    def upto(child):
        at = bisect.bisect_right(before, child) - 1
        if at >= len(lines):
            return cumulative[-1]
        line = lines[at]
        return cumulative[at] + (child - before[at]) * work[line] / count[line]

    return upto(end) - upto(first)


def read_trace(path, write_rate):
    tree = Tree()
    depth, count, own, subtree, write, size = [], [], [], [], [], []
    with open(path, encoding="ascii") as lines:
        first = lines.readline().split()
        if first != ["korv-trace", "1"]:
            raise TraceError(f"{path}: not a korv trace (its first line is not 'korv-trace 1')")
        for number, line in enumerate(lines, start=2):
            fields = line.split()
            try:
                if fields and fields[0][0].isdigit():
                    d, c, o, s, w, b = map(int, fields)
                    if c < 1:
                        raise ValueError
                    depth.append(d)
                    count.append(c)
                    own.append(o * NANOS)
                    subtree.append(s * NANOS)
                    write.append(w * NANOS)
                    size.append(b)
                elif fields:
                    tree.totals[fields[0]] = [int(v) for v in fields[1:]]
            except ValueError:
                raise TraceError(f"{path}:{number}: unreadable line: {line.strip()}") from None
    if "search" not in tree.totals:
        raise TraceError(f"{path}: no search traced: only a serial run (KORV_THREADS=1) writes one")
    for name, fields in (("root", 1), ("search", 2), ("write", 3), ("end", 1), ("split", 2)):
        if len(tree.totals.get(name, ())) != fields:
            raise TraceError(f"{path}: no '{name}' line of {fields} numbers")

    total = len(depth)
    parent = [-1] * total
    kid_lines = [None] * total
    top = []
    path_stack = []
    for i in range(total):
        while path_stack and depth[path_stack[-1]] >= depth[i]:
            path_stack.pop()
        expected = depth[path_stack[-1]] + 1 if path_stack else 0
        if depth[i] != expected or (path_stack and count[path_stack[-1]] > 1):
            raise TraceError(f"{path}: line {i + 2} (depth {depth[i]}) has no parent line")
        if path_stack:
            p = path_stack[-1]
            parent[i] = p
            if kid_lines[p] is None:
                kid_lines[p] = []
            kid_lines[p].append(i)
        else:
            top.append(i)
        path_stack.append(i)

    # Children come after their parent, so one backward pass sums them up.
    kid_subtree, kid_write, kid_size = [0.0] * total, [0.0] * total, [0] * total
    for i in range(total - 1, -1, -1):
        p = parent[i]
        if p >= 0:
            kid_subtree[p] += subtree[i]
            kid_write[p] += write[i]
            kid_size[p] += size[i]
    cost, write_cost = [0.0] * total, [0.0] * total
    for i in range(total):
        if kid_lines[i] is None:
            own_write, own_size = write[i], size[i]
            cost[i] = max(0.0, subtree[i] - own_write)
        else:
            own_write, own_size = write[i] - kid_write[i], size[i] - kid_size[i]
            # What follows the last child (leaving the node) counts with the node's own work.
            tail = max(0.0, subtree[i] - own[i] - kid_subtree[i])
            cost[i] = max(0.0, own[i] - own_write) + tail
        write_cost[i] = own_size / write_rate if write_rate else max(0.0, own_write)
    tree.count, tree.parent, tree.cost, tree.write = count, parent, cost, write_cost
    tree.kids = [None if lines is None else level_of(lines, count) for lines in kid_lines]
    tree.top = level_of(top, count)
    # The search cost of each line with everything below it.
    tree.work = cost[:]
    for i in range(total - 1, -1, -1):
        if parent[i] >= 0:
            tree.work[parent[i]] += tree.work[i]
    for level in tree.kids:
        if level is not None:
            add_work(level, tree.work)
    add_work(tree.top, tree.work)
    tree.subtree_top = sum(subtree[i] for i in top)
    return tree


def critical_path(tree):
    """The longest chain of own costs from a single item down to an indivisible task, and the
    largest indivisible task (a run's siblings counted as equal)."""
    reach = [0.0] * len(tree.cost)
    longest = largest = 0.0
    for i, p in enumerate(tree.parent):
        reach[i] = reach[p] + tree.cost[p] if p >= 0 else 0.0
        if tree.kids[i] is None:
            piece = tree.cost[i] / tree.count[i]
            longest = max(longest, reach[i] + piece)
            largest = max(largest, piece)
    return longest, largest


def simulate(tree, root, workers, threads_per_rank, latency):
    """The time at which the last worker and rank 0's writing are done, from the run's start.

    A worker's stack holds one level per depth: [lines, before, cumulative, next, end, at],
    children next .. end - 1 (numbered across the level's runs) still to start, `at` the line
    holding child next. Workers are advanced in time order. While no worker is idle, none
    depends on another until the first of them runs out of work, which each one's projected
    end (its time plus the work left in its stack, changed only by hand-overs) tells; so a
    worker runs on alone up to the earliest projected end or idle worker's start.
    """
    kids, cost, count, work = tree.kids, tree.cost, tree.count, tree.work
    started = [INF] * len(cost)
    found = [0.0] * len(cost)
    stacks = [[] for _ in range(workers)]
    top = tree.top
    stacks[0].append([top[0], top[1], top[2], 0, top[1][-1], 0])
    ends = [INF] * workers       # projected end of each busy worker
    end_heap = []                # (projected end, worker), stale entries skipped

    def project(worker, value):
        ends[worker] = value
        heapq.heappush(end_heap, (value, worker))

    def earliest_end():
        while end_heap and end_heap[0][0] != ends[end_heap[0][1]]:
            heapq.heappop(end_heap)
        return end_heap[0][0] if end_heap else INF

    project(0, root + top[2][-1])
    idle = [(root, w) for w in range(1, workers)]  # (idle since, worker)
    events = [(root, 0)]
    finished = root
    while events:
        t, w = heapq.heappop(events)
        stack = stacks[w]
        while True:
            while stack and stack[-1][3] >= stack[-1][4]:
                stack.pop()
            if not stack:
                ends[w] = INF
                heapq.heappush(idle, (t, w))
                finished = max(finished, t)
                break
            waiting = bool(idle) and idle[0][0] <= t
            if waiting:
                task = split(stack)
                if task is not None:
                    _, to = heapq.heappop(idle)
                    stacks[to].append(task)
                    local = w < threads_per_rank and to < threads_per_rank
                    arrival = t if local else t + latency
                    given = work_between(task, work, count, task[3], task[4])
                    project(w, ends[w] - given)
                    project(to, arrival + given)
                    heapq.heappush(events, (arrival, to))
                    waiting = bool(idle) and idle[0][0] <= t
            # With a worker waiting, one step at a time in time order; else on to the first
            # moment another may wait.
            if waiting:
                limit = events[0][0] if events else INF
            else:
                limit = min(earliest_end(), idle[0][0] if idle else INF)
            level = stack[-1]
            lines, before, _, next_child, end, at = level
            i = lines[at]
            if count[i] == 1:
                level[3] = next_child + 1
                level[5] = at + 1
                started[i] = t
                t += cost[i]
                found[i] = t
                if kids[i] is not None:
                    kid = kids[i]
                    stack.append([kid[0], kid[1], kid[2], 0, kid[1][-1], 0])
            else:
                # A run of indivisible siblings of equal cost: several are taken at once when
                # nothing can happen in between.
                unit = cost[i] / count[i]
                taken = min(before[at + 1], end) - next_child
                if waiting:
                    taken = 1
                elif unit > 0.0 and limit != INF:
                    taken = max(1, min(taken, int((limit - t) / unit) + 1))
                started[i] = min(started[i], t)
                t += taken * unit
                found[i] = max(found[i], t)
                level[3] = next_child + taken
                if next_child + taken == before[at + 1]:
                    level[5] = at + 1
            if t > limit:
                heapq.heappush(events, (t, w))
                break

    # Rank 0 writes in serial order: a node's own pattern once found, an indivisible task's
    # patterns as they come, so not before it ends.
    written = root
    write = tree.write
    for i in range(len(cost)):
        if write[i] == 0.0:
            continue
        if kids[i] is None:
            written = max(max(written, started[i]) + write[i], found[i])
        else:
            written = max(written, found[i]) + write[i]
    return finished, written


def split(stack):
    """Cuts the later half of the unstarted children at the shallowest level that has any, as
    core/work_split.h does; None when there is nothing to hand over."""
    deepest = len(stack) - 1
    for depth, level in enumerate(stack):
        lines, before, cumulative, next_child, end, _ = level
        if next_child == end:
            continue
        first = next_child + (1 if depth == deepest else 0)
        first += (end - first) // 2
        if first >= end:
            return None
        level[4] = first
        return [lines, before, cumulative, first, end, bisect.bisect_right(before, first) - 1]
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("trace")
    parser.add_argument("--ranks", default="4,8,16,32,64,128,256,512,1024",
                        help="comma-separated rank counts (default 4 to 1024, doubling)")
    parser.add_argument("--threads-per-rank", type=int, default=1,
                        help="search threads per rank (default 1); efficiency counts every thread")
    parser.add_argument("--latency-us", type=float, default=50.0,
                        help="hand-over latency between ranks in microseconds (default 50)")
    parser.add_argument("--write-rate", type=float, default=None, metavar="MB/s",
                        help="rank 0's write rate (default: as measured in the trace)")
    args = parser.parse_args()
    try:
        ranks = [int(r) for r in args.ranks.split(",")]
    except ValueError:
        parser.error(f"--ranks {args.ranks}: give comma-separated integers")
    if any(r < 1 for r in ranks) or args.threads_per_rank < 1:
        parser.error("rank and thread counts must be 1 or more")
    if args.write_rate is not None and args.write_rate <= 0:
        parser.error("--write-rate must be positive")

    try:
        tree = read_trace(args.trace, args.write_rate * 1e6 if args.write_rate else None)
    except (OSError, TraceError, UnicodeDecodeError) as error:
        print(f"replay_trace.py: {error}", file=sys.stderr)
        return 1
    totals = tree.totals
    root = totals["root"][0] * NANOS
    end = totals["end"][0] * NANOS
    write_ns, write_bytes, patterns = totals["write"]
    serial = root + tree.subtree_top + end
    work = sum(tree.cost)
    writing = sum(tree.write)
    longest, largest = critical_path(tree)
    measured_rate = write_bytes / (write_ns * NANOS) / 1e6 if write_ns > 0 else float("inf")
    rate = args.write_rate or measured_rate

    split_nanos, split_share = totals["split"]
    print(f"trace {args.trace}: {len(tree.cost)} nodes listed of {totals['search'][1]} searched; "
          f"subtrees under {split_nanos * NANOS * 1e3:g} ms or 1/{split_share} of the search so far "
          "are one task")
    print(f"serial run {serial:.2f} s: root {root:.2f} s, search {tree.subtree_top:.2f} s "
          f"(writing {write_ns * NANOS:.2f} s), end {end:.2f} s")
    print(f"output {patterns} patterns, {write_bytes / 1e6:.1f} MB as sent to rank 0, which writes"
          f" {rate:.0f} MB/s of them ({'given' if args.write_rate else 'measured'})")
    print(f"largest indivisible task {largest * 1e3:.1f} ms, longest chain to one {longest * 1e3:.1f} ms")
    print(f"{args.threads_per_rank} thread(s) per rank, hand-over latency {args.latency_us:g} us")
    print()
    print("| ranks | predicted s | speed-up | efficiency | search done s | written s "
          "| share limit | task limit | write limit | bound |")
    print("|------:|------------:|---------:|-----------:|--------------:|----------:"
          "|------------:|-----------:|------------:|-------|")
    task_time = root + longest + end
    for r in ranks:
        workers = r * args.threads_per_rank
        searched, written = simulate(tree, root, workers, args.threads_per_rank, args.latency_us * 1e-6)
        searched += end
        written += end
        predicted = max(searched, written)
        speedup = serial / predicted
        share_time = root + work / workers + end
        if written > 1.05 * searched:
            bound = "write"
        elif task_time > share_time and searched <= 1.15 * task_time:
            bound = "task"
        elif searched <= 1.15 * share_time:
            bound = "root" if root + end >= 0.25 * searched else "share"
        else:
            bound = "rule"
        print(f"| {r} | {predicted:.3f} | {speedup:.1f} | {100 * speedup / workers:.0f} % | {searched:.3f} "
              f"| {written:.3f} | {serial / share_time:.0f} | {serial / task_time:.0f} "
              f"| {serial / (root + writing + end):.0f} | {bound} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
