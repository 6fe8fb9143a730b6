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
elseif name == "hello" then
  print("Hello")
end
