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
