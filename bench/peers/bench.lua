-- The benchmark programs in Lua 5.4. Usage: lua5.4 bench.lua NAME [N]
local name, arg2 = arg[1], arg[2]

local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end

if name == "a" then
  local s = 0.0
  for i = 1, 20000000 do s = s + i * 2.0 end
  print(string.format("%.0f", s))
elseif name == "b" then
  local a, sum = {}, 0.0
  for pass = 1, 5 do
    for i = 1, 1000 do
      local row = a[i] or {}
      a[i] = row
      for j = 1, 1000 do row[j] = i + j * 0.5 end
    end
    sum = 0.0
    for i = 1, 1000 do
      local row = a[i]
      for j = 1, 1000 do sum = sum + row[j] end
    end
  end
  print(string.format("%.0f", sum))
elseif name == "c1" then
  local n, s = tonumber(arg2 or "200000"), ""
  for i = 1, n do s = s .. "x" end
  print(#s)
elseif name == "c2" then
  local t = string.rep("abcdefghijklmnopqrstuvwxyz", 10)
  local acc = 0.0
  for k = 0, 999999 do
    local p = k % 250 + 1
    local m = string.sub(t, p, p + 2)
    local l = string.sub(t, 1, k % 7 + 1)
    acc = acc + string.find(t, m, 1, true) + #l
  end
  print(string.format("%.0f", acc))
elseif name == "d" then
  print(string.format("%.0f", fib(32.0)))
elseif name == "e" then
  local n, a, seed = 200000, {}, 12345
  for i = 1, n do seed = (seed * 134775813 + 1) % 4294967296; a[i] = seed + 0.0 end
  local stack, sp = {1, n}, 2
  while sp > 0 do
    local hi, lo = stack[sp], stack[sp - 1]
    sp = sp - 2
    while lo < hi do
      local pivot = a[(lo + hi) // 2]
      local i, j = lo, hi
      while i <= j do
        while a[i] < pivot do i = i + 1 end
        while a[j] > pivot do j = j - 1 end
        if i <= j then a[i], a[j] = a[j], a[i]; i = i + 1; j = j - 1 end
      end
      if j - lo < hi - i then
        if i < hi then stack[sp + 1] = i; stack[sp + 2] = hi; sp = sp + 2 end
        hi = j
      else
        if lo < j then stack[sp + 1] = lo; stack[sp + 2] = j; sp = sp + 2 end
        lo = i
      end
    end
  end
  local sorted = 1
  for i = 2, n do if a[i - 1] > a[i] then sorted = 0 end end
  print(string.format("%d %.0f %.0f", sorted, a[1], a[n]))
elseif name == "locals" then
  local function work()
    local s = 0.0
    for i = 1, 10000000 do s = s + i * 2 end
    return s
  end
  print(string.format("%.0f", work()))
elseif name == "select" then
  local total = 0.0
  for i = 0, 2999999 do
    local k = i % 10
    if k == 0 then total = total + 1
    elseif k == 1 or k == 2 then total = total + 2
    elseif k >= 3 and k <= 5 then total = total + 3
    elseif k == 6 or k == 8 then total = total + 5
    else total = total + 7 end
  end
  print(string.format("%.0f", total))
elseif name == "refcall" then
  local function add(a, k) local r = k % 16; a[r] = a[r] + k % 7 end
  local a = {}
  for i = 0, 15 do a[i] = 0 end
  for k = 1, 1000000 do add(a, k) end
  local sum = 0.0
  for i = 0, 15 do sum = sum + a[i] end
  print(string.format("%.0f", sum))
elseif name == "bits" then
  local x, y = 12345, 0
  for i = 1, 5000000 do
    x = (x ~ (i << 3)) & 0xFFFFFF
    y = y + ((x >> 5) & 255)
  end
  print(x .. " " .. y)
elseif name == "sieve" then
  local n, flags = 2000000, {}
  for i = 0, n do flags[i] = 0 end
  for i = 2, 1414 do
    if flags[i] == 0 then for j = i * i, n, i do flags[j] = 1 end end
  end
  local count = 0
  for i = 2, n do if flags[i] == 0 then count = count + 1 end end
  print(count)
elseif name == "strnum" then
  local parts = {}
  for k = 1, 100000 do parts[#parts + 1] = tostring(k) .. "," end
  print(#table.concat(parts))
elseif name == "textfn" then
  local t = "  the quick brown fox jumps over the lazy dog  "
  local w = string.upper(t)
  local acc = 0.0
  for k = 0, 299999 do
    local p = k % 40 + 3
    local u = string.upper(string.sub(t, p, p + 3))
    local found = string.find(w, u, 1, true) or 0
    acc = acc + found + #(string.gsub(u, "^ +", "")) + string.byte(string.lower(u), 1)
  end
  print(string.format("%.0f", acc))
elseif name == "variant" then
  local v, w = 0, 1
  for i = 1, 5000000 do
    v = (v + i * 3 - w) % 1000003
    w = v % 7
  end
  print(string.format("%.0f %.0f", v, w))
elseif name == "matrix" then
  local n = 149
  local a, b, c = {}, {}, {}
  for i = 0, n do
    a[i], b[i], c[i] = {}, {}, {}
    for j = 0, n do a[i][j] = (i + 2 * j) % 10; b[i][j] = (i * j + 1) % 10 end
  end
  for i = 0, n do
    local ai, ci = a[i], c[i]
    for j = 0, n do
      local acc = 0
      for k = 0, n do acc = acc + ai[k] * b[k][j] end
      ci[j] = acc
    end
  end
  local sum = 0.0
  for i = 0, n do for j = 0, n do sum = sum + c[i][j] end end
  print(string.format("%.0f", sum))
elseif name == "nested" then
  local function inner(j, r) local t = (j * 3) % 7; return t + r end
  local function middle(r)
    local acc = 0.0
    for j = 1, 1000 do acc = acc + inner(j, r) end
    return acc
  end
  local function outer()
    local total = 0.0
    for r = 1, 2000 do total = total + middle(r) end
    print(string.format("%.0f", total))
  end
  outer()
elseif name == "hello" then
  print("Hello")
end
