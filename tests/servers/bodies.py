"""What the test server sends: a file streamed in chunks (packages reach 2 GiB) or bytes in
memory, with the validators a client resumes against, and the part a Range asks for."""
import email.utils
import re
import zlib

CHUNK = 256 * 1024
_RANGE = re.compile(r"\s*bytes\s*=\s*([0-9]*)\s*-\s*([0-9]*)\s*", re.IGNORECASE)


class FileBody:
    def __init__(self, path):
        stat = path.stat()
        self.path, self.size, self.mtime = path, stat.st_size, stat.st_mtime
        self.etag = f'"{stat.st_mtime_ns:x}-{stat.st_size:x}"'
        self.last_modified = email.utils.formatdate(stat.st_mtime, usegmt=True)

    def chunks(self, start, end, chunk=CHUNK):
        with open(self.path, "rb") as file:
            file.seek(start)
            while start < end:
                data = file.read(min(chunk, end - start))
                if not data:
                    return  # the file shrank under us; the connection will close
                start += len(data)
                yield data


class BytesBody:
    def __init__(self, data, etag=None, last_modified=None):
        self.data, self.size = data, len(data)
        self.etag, self.last_modified = etag, last_modified

    def chunks(self, start, end, chunk=CHUNK):
        for offset in range(start, end, chunk):
            yield self.data[offset:min(offset + chunk, end)]


class ReversedBody:
    """A file's bytes back to front, read backwards so that it is never held whole."""

    def __init__(self, file, etag, last_modified):
        self.file, self.size = file, file.size
        self.etag, self.last_modified = etag, last_modified

    def chunks(self, start, end, chunk=CHUNK):
        # Byte i of this body is byte size-1-i of the file.
        position, stop = self.size - start, self.size - end
        with open(self.file.path, "rb") as file:
            while position > stop:
                n = min(chunk, position - stop)
                position -= n
                file.seek(position)
                yield file.read(n)[::-1]


def changed(file, replacement=None):
    """The resource at `file`'s path once its content changed: other bytes (`replacement`,
    else the file reversed) under a new ETag and a later Last-Modified."""
    etag = file.etag[:-1] + '-changed"'
    last_modified = email.utils.formatdate(file.mtime + 3600, usegmt=True)
    if replacement is None:
        return ReversedBody(file, etag, last_modified)
    data = replacement if isinstance(replacement, bytes) else str(replacement).encode()
    return BytesBody(data, etag, last_modified)


def select_range(body, range_header, if_range):
    """(status, start, end) of a GET: 206 for one satisfiable byte range, 416 for an
    unsatisfiable one, else 200 and all of it. Several ranges, a malformed header or an
    If-Range that is not the current strong ETag or Last-Modified get all of it too."""
    whole = 200, 0, body.size
    if not range_header or (if_range is not None and if_range not in (body.etag, body.last_modified)):
        return whole
    match = _RANGE.fullmatch(range_header)
    if not match or match.groups() == ("", ""):
        return whole
    first, last = match.groups()
    if not first:  # the last `last` bytes
        if int(last) == 0:
            return 416, 0, 0
        start, end = max(0, body.size - int(last)), body.size
    else:
        start = int(first)
        if last and int(last) < start:
            return whole
        end = int(last) + 1 if last else body.size
    if start >= body.size:
        return 416, 0, 0
    return 206, start, min(end, body.size)


def gzipped(body, start, end, chunk=CHUNK):
    """(length, chunks) of the span gzip-encoded. Deflate is deterministic, so a first pass
    measures what the second sends and nothing is held whole."""

    def encode():
        encoder = zlib.compressobj(6, zlib.DEFLATED, 31)
        for data in body.chunks(start, end, chunk):
            out = encoder.compress(data)
            if out:
                yield out
        yield encoder.flush()

    return sum(map(len, encode())), encode()
