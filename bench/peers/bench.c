/* The benchmark programs in C, the physical reference. Usage: bench NAME [N] */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <stdint.h>

static double fib(double n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }

int main(int argc, char** argv) {
  const char* name = argc > 1 ? argv[1] : "";
  if (!strcmp(name, "a")) {
    double s = 0;
    for (double i = 1; i <= 20000000; i++) s = s + i * 2;
    printf("%.0f\n", s);
  } else if (!strcmp(name, "b")) {
    static double a[1001][1001];
    double sum = 0;
    for (int pass = 0; pass < 5; pass++) {
      for (int i = 1; i <= 1000; i++)
        for (int j = 1; j <= 1000; j++) a[i][j] = i + j * 0.5;
      sum = 0;
      for (int i = 1; i <= 1000; i++)
        for (int j = 1; j <= 1000; j++) sum += a[i][j];
    }
    printf("%.0f\n", sum);
  } else if (!strcmp(name, "c1")) {
    long n = argc > 2 ? atol(argv[2]) : 200000;
    size_t cap = 16, len = 0;
    char* s = malloc(cap);
    for (long i = 0; i < n; i++) {
      if (len + 1 >= cap) s = realloc(s, cap *= 2);
      s[len++] = 'x';
    }
    printf("%zu\n", len);
  } else if (!strcmp(name, "c2")) {
    char t[261];
    for (int i = 0; i < 260; i++) t[i] = 'a' + i % 26;
    t[260] = 0;
    double acc = 0;
    for (long k = 0; k < 1000000; k++) {
      int p = (int)(k % 250) + 1;
      char m[4];
      memcpy(m, t + p - 1, 3);
      m[3] = 0;
      int l = (int)(k % 7) + 1; /* left(t, l) has length l */
      char left[8];
      memcpy(left, t, l);
      left[l] = 0;
      acc += (double)(strstr(t, m) - t + 1) + (double)strlen(left);
    }
    printf("%.0f\n", acc);
  } else if (!strcmp(name, "d")) {
    printf("%.0f\n", fib(32));
  } else if (!strcmp(name, "e")) {
    enum { N = 200000 };
    static double a[N + 1];
    static int stack[128];
    uint32_t seed = 12345;
    for (int i = 1; i <= N; i++) {
      seed = seed * 134775813u + 1u;
      a[i] = seed;
    }
    int sp = 0;
    stack[sp++] = 1;
    stack[sp++] = N;
    while (sp > 0) {
      int hi = stack[--sp], lo = stack[--sp];
      while (lo < hi) {
        double pivot = a[(lo + hi) / 2];
        int i = lo, j = hi;
        while (i <= j) {
          while (a[i] < pivot) i++;
          while (a[j] > pivot) j--;
          if (i <= j) {
            double t = a[i]; a[i] = a[j]; a[j] = t;
            i++; j--;
          }
        }
        /* push the larger part, loop on the smaller: the stack stays shallow */
        if (j - lo < hi - i) {
          if (i < hi) { stack[sp++] = i; stack[sp++] = hi; }
          hi = j;
        } else {
          if (lo < j) { stack[sp++] = lo; stack[sp++] = j; }
          lo = i;
        }
      }
    }
    int sorted = 1;
    for (int i = 2; i <= N; i++) if (a[i - 1] > a[i]) sorted = 0;
    printf("%d %.0f %.0f\n", sorted, a[1], a[N]);
  } else if (!strcmp(name, "hello")) {
    printf("Hello\n");
  } else {
    fprintf(stderr, "usage: bench a|b|c1 N|c2|d|e|hello\n");
    return 2;
  }
  return 0;
}
