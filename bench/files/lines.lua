-- The twin of lines.tasm: 1,000,000 lines written with CR LF, read back line by line.
local f = assert(io.open("lines.tmp", "wb"))
for k = 1, 1000000 do f:write("line ", k, "\r\n") end
f:close()
local count, total = 0, 0
for line in io.lines("lines.tmp") do
  line = line:gsub("\r$", "")
  count = count + 1
  total = total + #line
end
print(count)
print(total)
