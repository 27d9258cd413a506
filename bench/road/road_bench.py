"""The whole road through the page: the default page (autoStart) in the real host on a virtual
display, against the shell tools a user would pick instead (curl, then bsdtar, then the setup).

The product is made of real binaries found on this machine (the shared libraries of
/usr/lib/x86_64-linux-gnu, regular files only) plus a setup program that exits 0 at once; it
is built once into the work folder and served from 127.0.0.1 by tests/support's server
(sendfile, a port the kernel picks). Each round runs, in turn: the tools, the host with the
direct transfer (a pre-signed URL), the host with the background job; a slow spell of the
shared machine then hits all three alike.

Stage times come from the host's own log (millisecond stamps): the page's lines ("Installation
of ... started", "Download finished", "Files prepared in", "Setup exited with code") and the
engines' ("StartDownload", "WinHTTP completed" / "BITS completed", "Unzip starting" /
"Unzip completed"). Peak RSS is the host process's VmHWM just before it is stopped (the web
and network processes are not counted).

Usage: python3 bench/road/road_bench.py BUILD_DIR [--rounds N] [--product-mib N]
           [--method deflate|zstd|both] [--rate-mbit N] [--work DIR] [--binary PATH]
           [--rss-mib N] [--page DIR]
  --product-mib  uncompressed size of the product (default 400)
  --method       the host's archive: deflate (default), zstd (the same product repacked by
                 scripts/pack-release), or both (the direct road once more per round with zstd)
  --rate-mbit    the server sends at most this many Mbit/s, as a real link would (default: as
                 fast as loopback goes, where a smaller archive saves almost nothing)
  --rss-mib      also run the direct road once with a stored (uncompressed) archive of this
                 size, to show the host's peak RSS does not grow with the archive (e.g. 1024)
  --binary       the host program (default BUILD_DIR/src/app/quillfetch)
  --page         the page's folder (default ui/, the default page; its config.json is replaced)
The shell tools always take the deflated archive: Debian's bsdtar (3.6.2) fails on zstd entries
of 1 MiB or more ("Truncated zstd file body") and unzip reads no zstd, so no shell road of the
zstd archive exists to compare with; the zstd road is compared with the deflate roads instead.

Targets (ratios tools / host): direct download >= 0.9 x curl and the page sees the completion
within 50 ms of the engine; extraction >= 1.0 x bsdtar; the whole direct road >= 0.9 x the
tools; host peak RSS <= 160 MB, flat in the archive's size; with both methods, the zstd road
faster than the deflate road.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import host_driver  # noqa: E402

PRODUCT = "Road Product"
ARCHIVE = "road-product.zip"
LAUNCHER = "Setup.exe"
LIBRARIES = "/usr/lib/x86_64-linux-gnu"
SETUP = "#!/bin/sh\nexit 0\n"
# A pre-signed storage URL's host name and query (as a path on the loopback server, which serves
# every path alike), so that the host takes the direct transfer.
PRESIGNED = ("/bucket.s3.amazonaws.com/" + ARCHIVE +
             "?X-Amz-Algorithm=AWS4-HMAC-SHA256&X-Amz-Credential=bench&X-Amz-Date=20260101T000000Z"
             "&X-Amz-Expires=3600&X-Amz-SignedHeaders=host&X-Amz-Signature=" + "0" * 64)


def make_product(path, mib, stored):
    """A ZIP of real shared libraries adding up to `mib` MiB, plus the setup program."""
    if os.path.exists(path):
        return
    budget = mib * 1024 * 1024
    method = zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED
    partial = path + ".part"
    with zipfile.ZipFile(partial, "w", compression=method, compresslevel=6) as archive:
        info = zipfile.ZipInfo(LAUNCHER, date_time=(2026, 1, 1, 0, 0, 0))
        info.create_system = 3
        info.external_attr = (0o100755) << 16
        info.compress_type = method
        archive.writestr(info, SETUP)
        for folder, dirs, files in os.walk(LIBRARIES):
            dirs.sort()
            for name in sorted(files):
                source = os.path.join(folder, name)
                if budget <= 0:
                    break
                if os.path.islink(source) or not os.path.isfile(source) or ".so" not in name:
                    continue
                size = os.path.getsize(source)
                if size == 0 or size > budget:
                    continue
                archive.write(source, "lib/" + os.path.relpath(source, LIBRARIES))
                budget -= size
    if budget > mib * 1024 * 1024 // 20:
        print("note: only %d MiB of libraries found" % (mib - budget // (1024 * 1024)))
    os.replace(partial, path)


def repack_zstd(deflated, path):
    """The deflated product's files, packed by the vendor's tool with its default method."""
    if os.path.exists(path):
        return
    folder = path + ".files"
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    subprocess.run(["bsdtar", "-xf", deflated, "-C", folder], check=True)
    subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "pack-release"), folder,
                    path + ".part"], check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(folder)
    os.replace(path + ".part", path)


def first(entries, prefix, category=None):
    for stamp, _, cat, message in entries:
        if (category is None or cat == category) and message.startswith(prefix):
            return stamp
    return None


def peak_rss_mb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return float("nan")


def run_host(binary, display, url, timeout, direct, ui):
    """One road through the page; returns the stage times (s) and the host's peak RSS (MB)."""
    page = tempfile.mkdtemp(prefix="qf-road-ui-")
    shutil.rmtree(page)
    shutil.copytree(ui, page)
    with open(os.path.join(page, "config.json"), "w") as f:
        json.dump({"productName": PRODUCT, "url": url, "archive_name": ARCHIVE,
                   "launcherName": LAUNCHER, "autoStart": True}, f)
    run = host_driver.HostRun(binary, display, None, page_dir=page)
    shutil.rmtree(page)
    try:
        run.start()
        deadline = time.monotonic() + timeout
        entries = []
        while time.monotonic() < deadline and run.process.poll() is None:
            entries = host_driver.log_entries(run.log_dir)
            if first(entries, "Setup exited with code ", "UI") is not None:
                break
            if any(level == "ERROR" and cat == "UI" for _, level, cat, _ in entries):
                raise RuntimeError("the page failed: %s" % [e[3] for e in entries if e[2] == "UI"])
            time.sleep(0.05)
        rss = peak_rss_mb(run.process.pid)
        entries = host_driver.log_entries(run.log_dir)
    finally:
        run.close()
    marks = {
        "started": first(entries, "Installation of %s started" % PRODUCT, "UI"),
        "engine_start": first(entries, "StartDownload url="),
        "engine_done": first(entries, "WinHTTP completed" if direct else "BITS completed"),
        "downloaded": first(entries, "Download finished: ", "UI"),
        "unzip_start": first(entries, "Unzip starting"),
        "unzip_done": first(entries, "Unzip completed"),
        "prepared": first(entries, "Files prepared in ", "UI"),
        "exited": first(entries, "Setup exited with code ", "UI"),
    }
    missing = [k for k, v in marks.items() if v is None]
    if missing:
        raise RuntimeError("no log line for %s" % ", ".join(missing))
    return {
        "road": marks["exited"] - marks["started"],
        "download": marks["engine_done"] - marks["engine_start"],
        "completion_seen_after": marks["downloaded"] - marks["engine_done"],
        "extraction_page": marks["prepared"] - marks["downloaded"],
        "extraction_engine": marks["unzip_done"] - marks["unzip_start"],
        "setup_page": marks["exited"] - marks["prepared"],
        # The background job's fixed 500 ms pause after each poll that finds it queued or
        # connecting (the direct transfer has none).
        "job_pauses": 0.5 * sum(1 for e in entries if e[3].startswith("BITS state ")),
        "peak_rss_mb": rss,
    }


def timed(command):
    began = time.monotonic()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.monotonic() - began


def run_tools(url, work):
    folder = tempfile.mkdtemp(prefix="tools-", dir=work)
    try:
        archive = os.path.join(folder, ARCHIVE)
        out = os.path.join(folder, "out")
        os.makedirs(out)
        download = timed(["curl", "-s", "-o", archive, url])
        extraction = timed(["bsdtar", "-xf", archive, "-C", out])
        setup = timed([os.path.join(out, LAUNCHER)])
        return {"road": download + extraction + setup, "download": download,
                "extraction": extraction, "setup": setup}
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def median(samples, key):
    return statistics.median(s[key] for s in samples)


def spread(samples, key):
    values = [s[key] for s in samples]
    return "%.3f (%.3f-%.3f)" % (statistics.median(values), min(values), max(values))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--product-mib", type=int, default=400)
    parser.add_argument("--rss-mib", type=int, default=0)
    parser.add_argument("--method", choices=["deflate", "zstd", "both"], default="deflate")
    parser.add_argument("--rate-mbit", type=float)
    parser.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "vlm-road-bench"))
    parser.add_argument("--binary")
    parser.add_argument("--timeout", type=float, default=180)
    parser.add_argument("--page", default=os.path.join(ROOT, "ui"))
    args = parser.parse_args()
    binary = args.binary or os.path.join(args.build, "src", "app", "quillfetch")
    for tool in ("curl", "bsdtar", "Xvfb"):
        if shutil.which(tool) is None:
            sys.exit("%s is not installed (scripts/install-deps installs it)" % tool)
    os.makedirs(args.work, exist_ok=True)
    www = os.path.join(args.work, "www-%d" % args.product_mib)
    os.makedirs(www, exist_ok=True)
    deflated = os.path.join(www, ARCHIVE)
    print("product: %d MiB of %s, deflated ..." % (args.product_mib, LIBRARIES), flush=True)
    make_product(deflated, args.product_mib, stored=False)
    zstd_product = None
    if args.method != "deflate":
        zstd_www = os.path.join(args.work, "www-%d-zstd" % args.product_mib)
        os.makedirs(zstd_www, exist_ok=True)
        print("repacking with zstd (scripts/pack-release) ...", flush=True)
        zstd_product = os.path.join(zstd_www, ARCHIVE)
        repack_zstd(deflated, zstd_product)
    product = zstd_product if args.method == "zstd" else deflated
    for path in (deflated, zstd_product):
        if path:
            print("archive %s: %.1f MiB" % (path, os.path.getsize(path) / 1048576.0), flush=True)

    rate = ["--rate-mbit", str(args.rate_mbit)] if args.rate_mbit else []
    display = host_driver.VirtualDisplay()
    server = host_driver.FaultServer(args.work, *rate, "--body-file", product)
    # The shell tools' archive, and the second method's under --method both.
    other = None
    if product != deflated:
        other = host_driver.FaultServer(args.work, *rate, "--body-file", deflated)
    elif zstd_product:
        other = host_driver.FaultServer(args.work, *rate, "--body-file", zstd_product)
    direct_url = "http://127.0.0.1:%d%s" % (server.port, PRESIGNED)
    job_url = "http://127.0.0.1:%d/%s" % (server.port, ARCHIVE)
    other_url = "http://127.0.0.1:%d%s" % (other.port, PRESIGNED) if other else None
    tools_url = other_url if args.method == "zstd" else direct_url
    zstd_url = other_url if args.method == "both" else None
    tools, direct, job, direct_zstd = [], [], [], []
    try:
        run_tools(tools_url, args.work)  # warm-up: the archives into the page cache
        run_host(binary, display.display, direct_url, args.timeout, True, args.page)
        if zstd_url:
            run_host(binary, display.display, zstd_url, args.timeout, True, args.page)
        for number in range(args.rounds):
            tools.append(run_tools(tools_url, args.work))
            direct.append(
                run_host(binary, display.display, direct_url, args.timeout, True, args.page))
            job.append(run_host(binary, display.display, job_url, args.timeout, False, args.page))
            if zstd_url:
                direct_zstd.append(
                    run_host(binary, display.display, zstd_url, args.timeout, True, args.page))
            print("round %d: tools %.2f s, direct %.2f s, job %.2f s%s" %
                  (number + 1, tools[-1]["road"], direct[-1]["road"], job[-1]["road"],
                   ", direct zstd %.2f s" % direct_zstd[-1]["road"] if zstd_url else ""),
                  flush=True)
        big = None
        if args.rss_mib:
            server.close()
            big_www = os.path.join(args.work, "www-stored-%d" % args.rss_mib)
            os.makedirs(big_www, exist_ok=True)
            big_product = os.path.join(big_www, ARCHIVE)
            print("product: %d MiB stored ..." % args.rss_mib, flush=True)
            make_product(big_product, args.rss_mib, stored=True)
            server = host_driver.FaultServer(args.work, *rate, "--body-file", big_product)
            url = "http://127.0.0.1:%d%s" % (server.port, PRESIGNED)
            big = run_host(binary, display.display, url, args.timeout, True, args.page)
            big["archive_mib"] = os.path.getsize(big_product) / 1048576.0
    finally:
        server.close()
        if other:
            other.close()
        display.close()

    print("\nmedians of %d rounds (min-max), seconds" % args.rounds)
    tools_name = "shell tools (deflate)" if zstd_product else "shell tools"
    zstd_name = "host direct zstd" if direct_zstd else ""
    print("%-52s %-22s %-22s %-22s %s" % ("figure", "host direct", "host job", tools_name,
                                          zstd_name))
    rows = [("whole road (page's started -> setup exited)", "road", "road"),
            ("download, engine start -> engine done", "download", "download"),
            ("page sees the completion after the engine", "completion_seen_after", None),
            ("extraction as the page sees it", "extraction_page", "extraction"),
            ("extraction, engine alone", "extraction_engine", None),
            ("setup as the page sees it", "setup_page", "setup"),
            ("fixed pauses of the job's polling", "job_pauses", None),
            ("host peak RSS, MB", "peak_rss_mb", None)]
    for label, key, tool_key in rows:
        print("%-52s %-22s %-22s %-22s %s" % (label, spread(direct, key), spread(job, key),
                                              spread(tools, tool_key) if tool_key else "",
                                              spread(direct_zstd, key) if direct_zstd else ""))
    ratios = {
        "road_direct": median(tools, "road") / median(direct, "road"),
        "road_job": median(tools, "road") / median(job, "road"),
        "download_direct": median(tools, "download") / median(direct, "download"),
        "download_job": median(tools, "download") / median(job, "download"),
        "extraction_direct": median(tools, "extraction") / median(direct, "extraction_page"),
        "extraction_job": median(tools, "extraction") / median(job, "extraction_page"),
        "extraction_engine": median(tools, "extraction") / median(direct, "extraction_engine"),
    }
    if direct_zstd:
        # Deflate over zstd: above 1 the zstd road is the faster.
        ratios["road_deflate_over_zstd"] = median(direct, "road") / median(direct_zstd, "road")
        ratios["download_deflate_over_zstd"] = (median(direct, "download") /
                                                median(direct_zstd, "download"))
        ratios["extraction_deflate_over_zstd"] = (median(direct, "extraction_engine") /
                                                  median(direct_zstd, "extraction_engine"))
    print("\nratios (tools / host, medians)")
    for name, value in ratios.items():
        print("  %-28s %.2f" % (name, value))
    peak = max(s["peak_rss_mb"] for s in direct + job + direct_zstd)
    print("host peak RSS over every road: %.1f MB" % peak)
    if big is not None:
        print("host peak RSS through a %.0f MiB direct download (stored archive): %.1f MB; "
              "download %.2f s, page saw it %.3f s later" %
              (big["archive_mib"], big["peak_rss_mb"], big["download"],
               big["completion_seen_after"]))
    seen = median(direct, "completion_seen_after")
    met = (ratios["download_direct"] >= 0.9 and seen <= 0.05 and
           ratios["extraction_direct"] >= 1.0 and ratios["road_direct"] >= 0.9 and peak <= 160 and
           (big is None or big["peak_rss_mb"] <= 160) and
           (not direct_zstd or ratios["road_deflate_over_zstd"] > 1.0))
    print("targets met: %s" % ("yes" if met else "no"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
