/* The release's one executable at its top. The show reads its content relative to the working
 * directory, so this enters the folder the launcher lies in (wherever it was started from: a
 * terminal in another folder, a symbolic link, a file manager) and replaces itself with the show,
 * arguments and environment unchanged: the show's status, signals and ways out are then the
 * show's own, as with the show binary run directly. A native executable rather than a script,
 * because file managers run one on a double click, where some open a script in an editor. */
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

/* The show binary, relative to the launcher's folder. */
static const char showPath[] = "bin/" SHOW_NAME;

int main(int argc, char **argv)
{
    const char *name = argc > 0 ? argv[0] : SHOW_NAME;
    /* The launcher's own file, symbolic links resolved; a path may hold spaces or any byte. */
    char folder[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", folder, sizeof folder - 1);
    if (length <= 0 || (size_t)length >= sizeof folder - 1) {
        fprintf(stderr, "%s: cannot find the folder it lies in (/proc/self/exe: %s)\n", name,
                length < 0 ? strerror(errno) : "path too long");
        return 127;
    }
    folder[length] = '\0';
    char *slash = strrchr(folder, '/');
    if (slash == folder)
        slash[1] = '\0';
    else if (slash != NULL)
        *slash = '\0';
    if (chdir(folder) != 0) {
        fprintf(stderr, "%s: cannot enter %s: %s\n", name, folder, strerror(errno));
        return 127;
    }
    execv(showPath, argv);
    /* As a shell reports a command it cannot run: 127 when missing, 126 otherwise. */
    int failure = errno;
    fprintf(stderr, "%s: cannot start %s/%s: %s\n", name, strcmp(folder, "/") == 0 ? "" : folder,
            showPath, strerror(failure));
    return failure == ENOENT ? 127 : 126;
}
