#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# A slow share for the benchmarks: a passthrough of SOURCE at MOUNT that
# waits MS milliseconds before each open and each read of a file or a
# directory (Debian's python3-fusepy; run as root, in the foreground). It
# takes the writes of a run's table, without waiting.
#   slow_share.py SOURCE MOUNT MS
import os, sys, time
from fusepy import FUSE, FuseOSError, Operations

class SlowShare(Operations):
    def __init__(self, root, ms):
        self.root, self.wait = root, ms / 1000.0
    def _path(self, path):
        return self.root + path
    def getattr(self, path, fh=None):
        try:
            st = os.lstat(self._path(path))
        except OSError as e:
            raise FuseOSError(e.errno)
        return {k: getattr(st, k) for k in ('st_mode', 'st_size', 'st_nlink', 'st_uid', 'st_gid',
                                            'st_atime', 'st_mtime', 'st_ctime', 'st_ino')}
    def opendir(self, path):
        time.sleep(self.wait)
        return 0
    def readdir(self, path, fh):
        time.sleep(self.wait)
        return ['.', '..'] + os.listdir(self._path(path))
    def open(self, path, flags):
        time.sleep(self.wait)
        return self._call(os.open, self._path(path), flags)
    def read(self, path, size, offset, fh):
        time.sleep(self.wait)
        return os.pread(fh, size, offset)
    def release(self, path, fh):
        os.close(fh)
        return 0
    def _call(self, f, *args):
        try:
            return f(*args)
        except OSError as e:
            raise FuseOSError(e.errno)
    def access(self, path, mode):
        return 0 if os.access(self._path(path), mode) else self._call(os.lstat, '/nonexistent')
    def create(self, path, mode, fi=None):
        return self._call(os.open, self._path(path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)
    def write(self, path, data, offset, fh):
        return self._call(os.pwrite, fh, data, offset)
    def fsync(self, path, datasync, fh):
        return self._call(os.fsync, fh)
    def fsyncdir(self, path, datasync, fh):
        return 0
    def chmod(self, path, mode):
        return self._call(os.chmod, self._path(path), mode)
    def chown(self, path, uid, gid):
        return self._call(os.chown, self._path(path), uid, gid)
    def truncate(self, path, length, fh=None):
        return self._call(os.truncate, self._path(path), length)
    def rename(self, old, new):
        return self._call(os.rename, self._path(old), self._path(new))
    def unlink(self, path):
        return self._call(os.unlink, self._path(path))

if __name__ == '__main__':
    source, mount, ms = sys.argv[1], sys.argv[2], float(sys.argv[3])
    FUSE(SlowShare(os.path.realpath(source), ms), mount, foreground=True)
