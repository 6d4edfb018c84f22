#include "path_parts.h"

#include "bounded_text.h"

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

const char* NextChar(UINT codePage, const char* c) {
    if (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(*c)) && c[1] != '\0') {
        return c + 2;
    }
    return c + 1;
}

bool CopyPart(char* part, size_t size, const char* begin, const char* end) {
    size_t length = static_cast<size_t>(end - begin);
    if (length >= size) {
        return false;
    }
    memcpy(part, begin, length);
    part[length] = '\0';
    return true;
}

} // namespace

bool SplitPath(UINT codePage, const char* path, PathParts* parts) {
    *parts = PathParts{};
    const char* rest = path;
    if (path[0] != '\0' && path[1] == ':') {
        rest = path + 2;
    }
    const char* lastSeparator = NULL;
    const char* lastDot = NULL;
    const char* end = rest;
    for (; *end != '\0'; end = NextChar(codePage, end)) {
        if (IsSeparator(*end)) {
            lastSeparator = end;
            lastDot = NULL;
        } else if (*end == '.') {
            lastDot = end;
        }
    }
    const char* nameStart = lastSeparator ? lastSeparator + 1 : rest;
    const char* nameEnd = lastDot ? lastDot : end;
    if (CopyPart(parts->drive, kDriveSize, path, rest) &&
        CopyPart(parts->dir, kPartSize, rest, nameStart) &&
        CopyPart(parts->fname, kPartSize, nameStart, nameEnd) &&
        CopyPart(parts->ext, kPartSize, nameEnd, end)) {
        return true;
    }
    *parts = PathParts{};
    return false;
}

bool EndsWithSeparator(UINT codePage, const char* path) {
    const char* last = NULL;
    for (const char* c = path; *c != '\0'; c = NextChar(codePage, c)) {
        last = c;
    }
    return last && IsSeparator(*last);
}

bool ComposePath(UINT codePage, const PathParts& parts, char* out, size_t size) {
    BoundedText path(out, size);
    if (parts.drive[0] != '\0') {
        path.Append(parts.drive, 1);
        path.Append(":");
    }
    if (parts.dir[0] != '\0') {
        path.Append(parts.dir);
        if (!EndsWithSeparator(codePage, parts.dir)) {
            path.Append("\\");
        }
    }
    path.Append(parts.fname);
    if (parts.ext[0] != '\0') {
        if (parts.ext[0] != '.') {
            path.Append(".");
        }
        path.Append(parts.ext);
    }
    return path.Fits();
}
