# 200,000 words of 3 to 14 letters from a fixed generator: mixed case, about one in eight
# with a Windows-1252 accented letter, so that both comparisons have work to do.
BEGIN {
  seed = 12345
  split("a b c d e f g h i j k l m n o p q r s t u v w x y z", lower, " ")
  split("\340 \351 \350 \364 \374 \347 \361 \366", accents, " ")
  for (i = 0; i < 200000; i++) {
    seed = (seed * 1103 + 12345) % 2147483647
    len = 3 + seed % 12
    w = ""
    for (j = 0; j < len; j++) {
      seed = (seed * 1103 + 12345) % 2147483647
      r = seed % 208
      if (r < 182) { c = lower[1 + r % 26]; if (r % 7 == 0) c = toupper(c) }
      else c = accents[1 + r % 8]
      w = w c
    }
    printf "%s\r\n", w
  }
}
