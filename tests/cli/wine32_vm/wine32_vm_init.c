/* First process of the throwaway virtual machine that runs the 32-bit Wine
 * tests (see wine32_vm.py). Linked statically: it runs from the initramfs
 * before any file system with a C library is mounted.
 *
 * It loads the kernel modules packed in /modules (file names sorted in load
 * order), mounts the host's root file system read-only from the 9p share
 * "host0" plus fresh /proc, /sys, /dev and /tmp, mounts the writable 9p share
 * "out" at /tmp/out, runs /tmp/out/job.sh with /bin/sh inside that root and
 * powers the machine off when the job ends. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#define NINEP_OPTIONS "trans=virtio,version=9p2000.L,msize=512000"

static void say(const char *what, const char *name) { fprintf(stderr, "wine32-vm init: %s %s\n", what, name); }

static void power_off(void) {
  sync();
  reboot(RB_POWER_OFF);
  for (;;) pause();
}

static int compare_names(const struct dirent **a, const struct dirent **b) {
  return strcmp((*a)->d_name, (*b)->d_name);
}

static int load_modules(void) {
  struct dirent **names;
  int count = scandir("/modules", &names, NULL, compare_names);
  if (count < 0) return 0;
  int ok = 1;
  for (int i = 0; i < count; i++) {
    char path[512];
    if (names[i]->d_name[0] == '.') continue;
    snprintf(path, sizeof path, "/modules/%s", names[i]->d_name);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0 || syscall(SYS_finit_module, fd, "", 0) != 0) {
      say("cannot load module", path);
      ok = 0;
    }
    if (fd >= 0) close(fd);
  }
  return ok;
}

struct mount_step {
  const char *source, *target, *type;
  unsigned long flags;
  const char *options;
};

/* In this order: /root/tmp must be a tmpfs before /root/tmp/out is made. */
static const struct mount_step steps[] = {
    {"host0", "/root", "9p", MS_RDONLY, NINEP_OPTIONS ",cache=loose"},
    {"proc", "/root/proc", "proc", 0, ""},
    {"sysfs", "/root/sys", "sysfs", 0, ""},
    {"devtmpfs", "/root/dev", "devtmpfs", 0, ""},
    {"tmpfs", "/root/dev/shm", "tmpfs", 0, "mode=1777"},
    {"tmpfs", "/root/run", "tmpfs", 0, "mode=755"},
    {"tmpfs", "/root/tmp", "tmpfs", 0, "mode=1777"},
    {"out", "/root/tmp/out", "9p", 0, NINEP_OPTIONS},
};

static int mount_all(void) {
  for (size_t i = 0; i < sizeof steps / sizeof steps[0]; i++) {
    const struct mount_step *s = &steps[i];
    mkdir(s->target, 0755); /* /root/dev/shm and /root/tmp/out live on fresh tmpfs */
    if (mount(s->source, s->target, s->type, s->flags, s->options) != 0) {
      say("cannot mount", s->target);
      return 0;
    }
  }
  return 1;
}

int main(void) {
  mkdir("/dev", 0755);
  mount("devtmpfs", "/dev", "devtmpfs", 0, "");
  int fd = open("/dev/console", O_RDWR);
  if (fd >= 0) {
    dup2(fd, 0);
    dup2(fd, 1);
    dup2(fd, 2);
  }
  if (!load_modules() || !mount_all() || chroot("/root") != 0 || chdir("/") != 0) power_off();

  pid_t job = fork();
  if (job == 0) {
    setenv("PATH", "/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin", 1);
    execl("/bin/sh", "sh", "/tmp/out/job.sh", (char *)NULL);
    _exit(127);
  }
  /* As the first process this also reaps every orphan until the job ends. */
  for (;;) {
    int status;
    pid_t ended = wait(&status);
    if (ended == job || (ended < 0 && job < 0)) break;
  }
  power_off();
  return 0;
}
