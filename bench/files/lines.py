# The twin of lines.tasm: 1,000,000 lines written with CR LF, read back line by line.
with open("lines.tmp", "w", newline="") as f:
    for k in range(1, 1000001):
        f.write("line " + str(k) + "\r\n")
count = total = 0
with open("lines.tmp", newline="") as f:
    for line in f:
        line = line.rstrip("\r\n")
        count += 1
        total += len(line)
print(count)
print(total)
