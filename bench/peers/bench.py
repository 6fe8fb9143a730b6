# The benchmark programs in Python 3. Usage: python3 bench.py NAME [N]
import math
import sys

def fib(n):
    return n if n < 2 else fib(n - 1) + fib(n - 2)

def main():
    name = sys.argv[1]
    if name == "a":
        s = 0.0
        for i in range(1, 20000001):
            s = s + i * 2.0
        print("%.0f" % s)
    elif name == "b":
        a = [[0.0] * 1001 for _ in range(1001)]
        total = 0.0
        for _ in range(5):
            for i in range(1, 1001):
                row = a[i]
                for j in range(1, 1001):
                    row[j] = i + j * 0.5
            total = 0.0
            for i in range(1, 1001):
                row = a[i]
                for j in range(1, 1001):
                    total += row[j]
        print("%.0f" % total)
    elif name == "c1":
        n = int(sys.argv[2]) if len(sys.argv) > 2 else 200000
        s = ""
        for _ in range(n):
            s += "x"
        print(len(s))
    elif name == "c2":
        t = "abcdefghijklmnopqrstuvwxyz" * 10
        acc = 0.0
        for k in range(1000000):
            p = k % 250 + 1
            m = t[p - 1:p + 2]
            l = t[:k % 7 + 1]
            acc += t.find(m) + 1 + len(l)
        print("%.0f" % acc)
    elif name == "d":
        sys.setrecursionlimit(10000)
        print("%.0f" % fib(32.0))
    elif name == "e":
        n = 200000
        a = [0.0] * (n + 1)
        seed = 12345
        for i in range(1, n + 1):
            seed = (seed * 134775813 + 1) % 4294967296
            a[i] = float(seed)
        stack = [1, n]
        while stack:
            hi = stack.pop()
            lo = stack.pop()
            while lo < hi:
                pivot = a[(lo + hi) // 2]
                i, j = lo, hi
                while i <= j:
                    while a[i] < pivot:
                        i += 1
                    while a[j] > pivot:
                        j -= 1
                    if i <= j:
                        a[i], a[j] = a[j], a[i]
                        i += 1
                        j -= 1
                if j - lo < hi - i:
                    if i < hi:
                        stack += [i, hi]
                    hi = j
                else:
                    if lo < j:
                        stack += [lo, j]
                    lo = i
        ok = 1
        for i in range(2, n + 1):
            if a[i - 1] > a[i]:
                ok = 0
        print("%d %.0f %.0f" % (ok, a[1], a[n]))
    elif name == "locals":
        def work():
            s = 0.0
            for i in range(1, 10000001):
                s = s + i * 2
            return s
        print("%.0f" % work())
    elif name == "select":
        total = 0.0
        for i in range(3000000):
            k = i % 10
            if k == 0:
                total += 1
            elif k == 1 or k == 2:
                total += 2
            elif 3 <= k <= 5:
                total += 3
            elif k == 6 or k == 8:
                total += 5
            else:
                total += 7
        print("%.0f" % total)
    elif name == "refcall":
        def add(a, k):
            r = k % 16
            a[r] = a[r] + k % 7
        a = [0] * 16
        for k in range(1, 1000001):
            add(a, k)
        print("%.0f" % float(sum(a)))
    elif name == "bits":
        x, y = 12345, 0
        for i in range(1, 5000001):
            x = (x ^ (i << 3)) & 0xFFFFFF
            y = y + ((x >> 5) & 255)
        print(x, y)
    elif name == "sieve":
        n = 2000000
        flags = bytearray(n + 1)
        for i in range(2, 1415):
            if flags[i] == 0:
                for j in range(i * i, n + 1, i):
                    flags[j] = 1
        count = 0
        for i in range(2, n + 1):
            if flags[i] == 0:
                count += 1
        print(count)
    elif name == "strnum":
        parts = []
        for k in range(1, 100001):
            parts.append(str(k) + ",")
        print(len("".join(parts)))
    elif name == "textfn":
        t = "  the quick brown fox jumps over the lazy dog  "
        w = t.upper()
        acc = 0.0
        for k in range(300000):
            p = k % 40 + 3
            u = t[p - 1:p + 3].upper()
            acc += (w.find(u) + 1) + len(u.lstrip(" ")) + ord(u.lower()[0])
        print("%.0f" % acc)
    elif name == "variant":
        v, w = 0, 1
        for i in range(1, 5000001):
            v = (v + i * 3 - w) % 1000003
            w = v % 7
        print(v, w)
    elif name == "matrix":
        n = 150
        a = [[(i + 2 * j) % 10 for j in range(n)] for i in range(n)]
        b = [[(i * j + 1) % 10 for j in range(n)] for i in range(n)]
        bt = [list(col) for col in zip(*b)]
        total = 0.0
        for i in range(n):
            ai = a[i]
            for j in range(n):
                bj = bt[j]
                acc = 0
                for k in range(n):
                    acc += ai[k] * bj[k]
                total += acc
        print("%.0f" % total)
    elif name == "nested":
        def inner(j, r):
            t = (j * 3) % 7
            return t + r
        def middle(r):
            acc = 0.0
            for j in range(1, 1001):
                acc += inner(j, r)
            return acc
        def outer():
            total = 0.0
            for r in range(1, 2001):
                total += middle(r)
            print("%.0f" % total)
        outer()
    elif name == "hello":
        print("Hello")

main()
