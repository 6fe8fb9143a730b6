# The benchmark programs in Python 3. Usage: python3 bench.py NAME [N]
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
    elif name == "hello":
        print("Hello")

main()
