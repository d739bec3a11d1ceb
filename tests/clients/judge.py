"""Judges what one client made of a served site against the tree it was made from.
  judge.py rclone TREE SITE LISTING URL  rclone lsf -R output: the tree, plus generated files only
  judge.py wget TREE LOG DIR URL         wget's log and download: no error, every file's bytes
  judge.py lftp TREE DIR URL             lftp's mirror: every file and folder at its own path
  judge.py linkchecker OUTPUT            linkchecker's text output: no error
  judge.py rows TREE URL                 each folder's page, read by rows.py: every entry a row
  judge.py table                         lines of tab-separated cells on standard input, aligned
Prints the table cell on standard output and each failure on a line of standard error; exits 1
when the client did not get the whole tree."""
import hashlib
import os
import re
import sys
import urllib.error
import urllib.parse
import urllib.request

import rows


def walk(root):
    """The files and folders below root, as paths relative to it with '/' between names."""
    files, folders = set(), set()
    for parent, dirnames, filenames in os.walk(root):
        rel = os.path.relpath(parent, root)
        prefix = "" if rel == "." else rel + "/"
        folders.update(prefix + d for d in dirnames)
        files.update(prefix + f for f in filenames)
    return files, folders


def url_of(base, rel, folder=False):
    return base.rstrip("/") + "/" + urllib.parse.quote(rel) + ("/" if folder and rel else "")


def counted(files_got, files, folders_got, folders):
    return f"{len(files_got)}/{len(files)} files, {len(folders_got)}/{len(folders)} folders"


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def judge_rclone(tree, site, listing, base):
    files, folders = walk(tree)
    site_files, site_folders = walk(site)
    # Whatever the run wrote beside the tree (pages, icons, sums) may be listed too.
    generated = (site_files - files) | {f + "/" for f in site_folders - folders}
    with open(listing, encoding="utf-8", errors="surrogateescape") as f:
        listed = {line.rstrip("\n") for line in f if line.strip("\n")}
    got_files = files & listed
    got_folders = {d for d in folders if d + "/" in listed}
    unexpected = listed - files - {d + "/" for d in folders} - generated
    failures = [f"not listed: {url_of(base, p)}" for p in sorted(files - got_files)]
    failures += [f"not listed as a folder: {url_of(base, d, True)}"
                 for d in sorted(folders - got_folders)]
    failures += [f"listed but not in the tree: {p}" for p in sorted(unexpected)]
    cell = counted(got_files, files, got_folders, folders)
    if unexpected:
        cell += f", {len(unexpected)} unexpected"
    return cell, failures


def judge_wget(tree, log, download, base):
    files, _ = walk(tree)
    errors = []
    with open(log, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    # -nv puts the URL on the line before "ERROR nnn".
    for i, line in enumerate(lines):
        found = re.search(r"ERROR (\d+)", line)
        if found:
            url = lines[i - 1].rstrip(":") if i else "?"
            errors.append((found.group(1), url))
    fetched = set()
    for parent, _, names in os.walk(download):
        fetched.update(sha256(os.path.join(parent, n)) for n in names)
    # Names may come out changed (wget escapes some), so files are matched by their bytes.
    missing = sorted(p for p in files if sha256(os.path.join(tree, p)) not in fetched)
    not_found = sum(1 for code, _ in errors if code == "404")
    cell = f"{not_found} × 404"
    if len(errors) > not_found:
        cell += f", {len(errors) - not_found} other errors"
    cell += f", {len(files) - len(missing)}/{len(files)} files"
    failures = [f"ERROR {code}: {url}" for code, url in errors]
    failures += [f"not fetched: {url_of(base, p)}" for p in missing]
    return cell, failures


def judge_lftp(tree, mirror, base):
    files, folders = walk(tree)
    got_files = {p for p in files if os.path.isfile(os.path.join(mirror, p))
                 and sha256(os.path.join(mirror, p)) == sha256(os.path.join(tree, p))}
    got_folders = {d for d in folders if os.path.isdir(os.path.join(mirror, d))}
    failures = [f"not copied (or other bytes): {url_of(base, p)}"
                for p in sorted(files - got_files)]
    failures += [f"folder not made: {url_of(base, d, True)}"
                 for d in sorted(folders - got_folders)]
    return counted(got_files, files, got_folders, folders), failures


def judge_linkchecker(output):
    with open(output, encoding="utf-8", errors="replace") as f:
        text = f.read()
    summary = re.search(r"(\d+) errors? found", text)
    if not summary:
        return "no summary", ["linkchecker ended without its summary:"] + text.splitlines()[-5:]
    failures = []
    # One block per broken link; its URL, where it was found and the result.
    for block in text.split("\n\n"):
        fields = dict(re.findall(r"^(URL|Parent URL|Real URL|Result)\s+(.*)$", block, re.M))
        if fields.get("Result", "").startswith("Error"):
            failures.append(f"{fields.get('Result')}: {fields.get('Real URL', fields.get('URL'))}"
                            f" (on {fields.get('Parent URL', '?')})")
    broken = int(summary.group(1))
    if broken and not failures:
        failures.append(f"{broken} errors")
    return f"{broken} broken", failures


def fetch(url):
    try:
        with urllib.request.urlopen(url, timeout=10) as response:
            body = response.read()
            return body.decode(rows.charset(response.headers.get("Content-Type", ""), body),
                               errors="replace")
    except (urllib.error.URLError, OSError, LookupError) as error:
        return error


def judge_rows(tree, base):
    files, folders = walk(tree)
    got_files, got_folders, failures = set(), set(), []
    for folder in sorted(folders | {""}):
        prefix = folder + "/" if folder else ""
        url = url_of(base, folder, folder=True)
        page = fetch(url)
        if not isinstance(page, str):
            failures.append(f"{url}: {page}")
            page = ""
        accepted = rows.rows(page)
        for entries, got, is_folder in ((files, got_files, False), (folders, got_folders, True)):
            for rel in sorted(entries):
                if not rel.startswith(prefix) or "/" in rel[len(prefix):]:
                    continue
                name = rel[len(prefix):]
                if accepted.get(name) is None or (is_folder and not accepted[name]):
                    misses = rows.near_misses(page, name)
                    kind = "folder" if is_folder else "file"
                    failures.append(f"{url}: {kind} {name!r} not a row"
                                    + (f"; its link: {misses[0]}" if misses else "; no link to it"))
                else:
                    got.add(rel)
    return counted(got_files, files, got_folders, folders), failures


def table():
    lines = [line.rstrip("\n").split("\t") for line in sys.stdin if line.strip()]
    widths = [max(len(line[i]) for line in lines) for i in range(len(lines[0]))]
    for line in lines:
        print("  ".join(cell.ljust(width) for cell, width in zip(line, widths)).rstrip())


def main():
    client, args = sys.argv[1], sys.argv[2:]
    if client == "table":
        return table()
    judges = {"rclone": judge_rclone, "wget": judge_wget, "lftp": judge_lftp,
              "linkchecker": judge_linkchecker, "rows": judge_rows}
    cell, failures = judges[client](*args)
    print(cell)
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
