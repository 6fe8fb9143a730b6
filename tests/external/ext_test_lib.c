/* A shared library for the external-call program tests: each function shows what it
   received, so a test sees how arguments were converted and results read back. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

int Answer(void) { return 42; }
int Minus1(void) { return -1; }
int Big(void) { return 0x12345; }
int AddLong(int a, int b) { return a + b; }
double HalfDouble(double d) { return d / 2; }
double TwoDoubles(double a, double b) { return a * b; }
const char* Greeting(void) { return "hello from the library"; }
const char* NoText(void) { return NULL; }
int Sum3(int a, int b, int c) { return a + 10 * b + 100 * c; }

/* One argument of each type code, printed as received; returns the text's length. */
int Mix(unsigned char b, unsigned short w, int l, float f, double d, const char* t) {
  printf("Mix byte %u word %u long %d single %.3f double %.6f text [%s]\n", b, w, l, f, d, t);
  fflush(stdout);
  return (int)strlen(t);
}

/* Fills a buffer the way Windows functions do: characters then a NUL. */
int FillBuffer(char* buf) {
  memcpy(buf, "ABCDE", 6);
  return 5;
}

/* Writes 16 bytes past the end of the text it was given. */
int WritePast(char* buf) {
  size_t n = strlen(buf);
  memset(buf, 'x', n + 16);
  buf[n + 16] = 0;
  return (int)n;
}

/* The first two 32-bit fields of a record passed by address. */
int RecordSum(const int32_t* p) { return p[0] + p[1]; }

/* Results of calls of three arguments: a text (one of the texts passed, so the engine must
   copy it before it releases its copies) and a double. */
const char* Pick3(int which, const char* a, const char* b) { return which == 1 ? a : b; }
double Scale3(int a, int b, double c) { return (a + b) * c; }

/* Callbacks: the engine's entry points called as the platform's functions call them. */
#include <pthread.h>

typedef int (*Callback1)(int);
typedef int (*Callback2)(int, int);
typedef int (*Callback6)(int, int, int, int, int, int);

/* Calls the callback once and says so after it returned. */
int CallBack2(Callback2 f, int a, int b) {
  int r = f(a, b);
  printf("library: the callback gave %d\n", r);
  fflush(stdout);
  return r;
}

/* Calls the callback twice; the second call is refused by the engine when the first failed. */
int CallBack2Twice(Callback2 f, int a, int b) {
  int first = f(a, b);
  int second = f(b, a);
  printf("library: back from both calls (%d, %d)\n", first, second);
  fflush(stdout);
  return first + second;
}

struct ThreadCall {
  Callback2 f;
  int a, b, result;
};
static void* runOnThread(void* p) {
  struct ThreadCall* t = (struct ThreadCall*)p;
  t->result = t->f(t->a, t->b);
  return NULL;
}
/* Calls the callback from a thread of its own; returns what it answered there. */
int CallBack2OnThread(Callback2 f, int a, int b) {
  struct ThreadCall t = {f, a, b, -99};
  pthread_t thread;
  if (pthread_create(&thread, NULL, runOnThread, &t) != 0) return -98;
  pthread_join(thread, NULL);
  return t.result;
}

/* n calls of an arity-1 callback with 0 .. n-1; the sum of its answers. */
int CallBack1Many(Callback1 f, int n) {
  int sum = 0;
  for (int i = 0; i < n; ++i) sum += f(i);
  return sum;
}

int CallBack6(Callback6 f) { return f(1, -2, 3, -4, 5, -2147483647 - 1); }

/* Whether a pointer the program passed as a Long fits 31 bits, and is the value given. */
int PointerIs(const void* p, int expected) { return (uintptr_t)p == (uintptr_t)(unsigned)expected && (uintptr_t)p < 0x80000000u; }
