/* Preloaded into a server under test: every thread it starts waits 50 ms
 * before it runs, as on a machine too busy to schedule it at once. A job's
 * thread then starts after the client that submitted the job has had its
 * answer and sent its next request. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdlib.h>
#include <time.h>

struct start {
  void *(*routine)(void *);
  void *argument;
};

static void *late(void *data) {
  struct start start = *(struct start *)data;
  free(data);
  const struct timespec delay = {0, 50 * 1000 * 1000};
  nanosleep(&delay, 0);
  return start.routine(start.argument);
}

int pthread_create(pthread_t *thread, const pthread_attr_t *attributes, void *(*routine)(void *),
                   void *argument) {
  int (*real)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *) =
      dlsym(RTLD_NEXT, "pthread_create");
  struct start *start = malloc(sizeof *start);
  if (start == 0) return real(thread, attributes, routine, argument);
  start->routine = routine;
  start->argument = argument;
  int result = real(thread, attributes, late, start);
  if (result != 0) free(start);
  return result;
}
