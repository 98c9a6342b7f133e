#!/usr/bin/env python3
"""Where a delivery's time goes with nginx holding the wait, from the request logs of a traced
load run (QUORVEL_STACK_TRACE=1 QUORVEL_KEEP_STACK=1 python3 server/bench/load.py ...):

    python3 server/bench/delivery_stages.py /tmp/quorvel-stack-XXXX/node0

For each woken wait: the API call's end to the wake-up's publish, the publish to the end of the
wait (nginx answering the held poll), the end of the wait to the start of the client's next poll,
and that poll through PHP (its queue and its work) until its answer left nginx.
"""

import bisect
import re
import statistics
import sys


def entries(path):
    """(end time, request id, client, uri, status, seconds, upstream header seconds) per line."""
    found = []
    with open(path) as f:
        for line in f:
            # An upstream field after an internal redirect lists both hops: "0.001 : 25.000".
            parts = line.replace(" : ", ":").split()
            if len(parts) < 9:
                continue
            header = re.split("[,:]", parts[7])[0]
            found.append((float(parts[0]), parts[1], parts[2], parts[3], parts[4], float(parts[5]),
                          float(header) if header not in ("-", "") else None))
    return found


def summary(values):
    if not values:
        return "none"
    ordered = sorted(values)
    p95 = ordered[min(len(ordered) - 1, int(0.95 * len(ordered)))]
    return f"median {statistics.median(ordered) * 1000:.1f} / p95 {p95 * 1000:.1f} / max {ordered[-1] * 1000:.1f} ms (n={len(ordered)})"


def stages(folder):
    public = entries(f"{folder}/nginx-access.log")
    internal = entries(f"{folder}/nginx-internal.log")
    api_ends = sorted(e[0] for e in public if e[3].startswith("/api.php/messages"))
    published = {}
    for end, _, _, uri, *_ in internal:
        match = re.fullmatch(r"/wake/(u\d+i\d+)t[01]", uri)
        if match:
            published.setdefault(match.group(1), []).append(end)
    polls_by_client = {}
    for entry in public:
        if entry[3] == "/poll.php":
            polls_by_client.setdefault(entry[2], []).append((entry[0] - entry[5], entry))
    for starts in polls_by_client.values():
        starts.sort()
    result = {"api end to publish": [], "publish to the wait's end": [], "wait's end to the next poll": [],
              "next poll in nginx and PHP": [], "of it, to PHP's first byte": [], "api end to the next poll's end": []}
    for end, _, client, uri, _, seconds, _ in public:
        match = re.fullmatch(r"/quorvel-wait/(u\d+i\d+)t[01]", uri)
        if not match or match.group(1) not in published:
            continue
        publish = min(published[match.group(1)])
        if publish > end + 0.001:
            continue  # a wait that ended before the publish (idle, or a closed client)
        api = api_ends[bisect.bisect_right(api_ends, publish) - 1] if api_ends and api_ends[0] <= publish else None
        following = polls_by_client.get(client, [])
        at = bisect.bisect_left(following, (end - 0.0005,))
        if at >= len(following):
            continue
        start, poll = following[at]
        if api is not None:
            result["api end to publish"].append(publish - api)
            result["api end to the next poll's end"].append(poll[0] - api)
        result["publish to the wait's end"].append(max(0.0, end - publish))
        result["wait's end to the next poll"].append(max(0.0, start - end))
        result["next poll in nginx and PHP"].append(poll[5])
        if poll[6] is not None:
            result["of it, to PHP's first byte"].append(poll[6])
    return result


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    for name, values in stages(argv[1]).items():
        print(f"{name:34} {summary(values)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
