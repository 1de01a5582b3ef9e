-- mobdebug: Varlo's debug server for the controller's Lua scripts (Lua 5.4,
-- LuaSocket).
--
-- The library starts it as  lua -e "require('mobdebug').listen()"  and then
-- talks to it through standard input and output:
--
--   prints "Waitting client..." and waits on TCP port 8172 for the
--   controller's debuggee (taken only from the addresses, separated by blanks,
--   in the environment variable VARLO_DEBUG_CONTROLLER; loopback without it);
--   prints "Paused at file F line N" whenever the script stops;
--   prints the prompt ">" at the start of a line whenever it waits for a
--   command while the script is paused, and reads one command a line:
--
--     run | step | over         go on; answered by the next "Paused at ..."
--     suspend                   pause a running script
--     setb FILE LINE | delb FILE LINE | delallb
--     eval EXPRESSION           "Comm: eval VALUE" (a Lua literal, as the controller writes it)
--     exec STATEMENT            "Comm: exec done" or "Comm: exec error: ..."
--     stack                     "Comm: stack {name = {"value"}, t = {{...}, "table: ..."}}"
--     detach                    let the script run on by itself, and end
--
--   While the script runs it takes suspend, setb, delb, delallb and detach only.
--   Prints "Server closed!" and ends when the debuggee goes away.
--
-- When its standard input closes (the library's host has gone, even killed)
-- it stops the controller's script (POST to the address in
-- VARLO_DEBUG_STOP_URL) before it ends: a debuggee left without its server
-- would run on unsupervised.
--
-- The debuggee speaks a line protocol of Varlo's own over the TCP connection;
-- sim/README.md describes it.
local socket = require("socket")
local http = require("socket.http")
local ltn12 = require("ltn12")

local M = { port = 8172 }

local function out(text)
    io.stdout:write(text)
    io.stdout:flush()
end

-- An answer is one line: the library takes a ">" that begins a line for the
-- prompt. Values are the controller's literals as they are (they hold no line
-- breaks); messages lose theirs.
local function clean(text)
    return (text:gsub("[\r\n]", " "))
end

-- The host has gone: the script must not run on without it.
local function stopController()
    local url = os.getenv("VARLO_DEBUG_STOP_URL")
    if url and url ~= "" then
        http.TIMEOUT = 1
        http.request({
            url = url,
            method = "POST",
            headers = { ["content-type"] = "application/json", ["content-length"] = "2" },
            source = ltn12.source.string("{}"),
            sink = ltn12.sink.null(),
        })
    end
end

-- Standard input as LuaSocket's select() sees it. Unbuffered, so that no
-- command waits in a buffer that select() cannot see.
local stdin = { getfd = function() return 0 end, dirty = function() return false end }

local function readCommand()
    local line = io.stdin:read("l")
    if not line then
        stopController() -- the library has gone
        os.exit(0)
    end
    return (line:gsub("\r$", ""))
end

local function normalAddress(address)
    address = (address or ""):gsub("^::ffff:", "")
    if address == "localhost" or address == "::1" then
        return "127.0.0.1"
    end
    return address
end

-- ---- the debuggee connection ---------------------------------------------

local Debuggee = {}
Debuggee.__index = Debuggee

function Debuggee:send(line, payload)
    local ok = self.socket:send(line .. "\n" .. (payload or ""))
    if not ok then
        self:closed()
    end
end

function Debuggee:closed()
    out("Server closed!\n")
    os.exit(0)
end

-- The script runs on by itself, as the library asked.
function Debuggee:detach()
    self.socket:close()
    os.exit(0)
end

-- The next message: "paused", line, file; or "ok"/"error", payload.
function Debuggee:receive()
    local line = self.socket:receive("*l")
    if not line then
        self:closed()
    end
    local kind, rest = line:match("^(%S+)%s*(.*)$")
    if kind == "paused" then
        local number, file = rest:match("^(%d+)%s+(.*)$")
        return "paused", number, file
    end
    local length = tonumber(rest) or 0
    local payload = ""
    if length > 0 then
        payload = self.socket:receive(length)
        if not payload then
            self:closed()
        end
    end
    return kind, payload
end

-- Waits for an answer, skipping late acknowledgements of commands that were
-- passed on while the script ran.
function Debuggee:answer()
    while true do
        local kind, a, b = self:receive()
        if kind == "paused" then
            self:paused(a, b)
        elseif self.late > 0 then
            self.late = self.late - 1
        else
            return kind, a
        end
    end
end

function Debuggee:paused(line, file)
    out("Paused at file " .. file .. " line " .. line .. "\n")
end

-- ---- commands ----------------------------------------------------------------

local function breakpoint(arguments)
    local file, line = arguments:match("^(.-)%s+(%d+)%s*$")
    if not file or file == "" then
        return nil
    end
    return line .. " " .. file
end

-- Passes a breakpoint command on; nil when it is not one.
local function forwardBreakpoint(debuggee, command, arguments)
    if command == "delallb" then
        debuggee:send("delallb")
        return true
    end
    if command == "setb" or command == "delb" then
        local where = breakpoint(arguments)
        if not where then
            out("Error: " .. command .. " FILE LINE\r\n")
            return false
        end
        debuggee:send(command .. " " .. where)
        return true
    end
    return nil
end

-- Runs until the debuggee pauses again, taking the commands that make sense
-- while it runs.
local function running(debuggee)
    while true do
        local ready = socket.select({ debuggee.socket, stdin }, nil)
        if ready[debuggee.socket] then
            local kind, a, b = debuggee:receive()
            if kind == "paused" then
                debuggee:paused(a, b)
                return
            end
            if debuggee.late > 0 then
                debuggee.late = debuggee.late - 1
            end
        end
        if ready[stdin] then
            local command, arguments = readCommand():match("^%s*(%S*)%s*(.-)%s*$")
            if command == "suspend" then
                debuggee:send("suspend")
            elseif command == "detach" then
                debuggee:detach()
            elseif forwardBreakpoint(debuggee, command, arguments) then
                debuggee.late = debuggee.late + 1
            elseif command ~= "" then
                out("Error: the script is running; suspend it first\r\n")
            end
        end
    end
end

local function stackText(payload)
    local entries = {}
    for line in payload:gmatch("[^\n]+") do
        local name, kind, text, address = line:match("^([^\t]*)\t([^\t]*)\t([^\t]*)\t?(.*)$")
        if name then
            if kind == "table" then
                entries[#entries + 1] = name .. " = {" .. clean(text) .. ', "' .. clean(address) .. '"}'
            else
                entries[#entries + 1] = name .. ' = {"' .. clean(text) .. '"}'
            end
        end
    end
    return "{" .. table.concat(entries, ", ") .. "}"
end

local function evaluate(debuggee, command, code)
    debuggee:send(command .. " " .. #code, code)
    local kind, payload = debuggee:answer()
    if command == "eval" then
        if kind == "ok" then
            out("Comm: eval " .. clean(payload) .. "\r\n")
        else
            out("Comm: eval error: " .. clean(payload) .. "\r\n")
        end
    elseif kind == "ok" then
        out("Comm: exec done\r\n")
    else
        out("Comm: exec error: " .. clean(payload) .. "\r\n")
    end
end

-- One command while the script is paused.
local function paused(debuggee, line)
    local command, arguments = line:match("^%s*(%S*)%s*(.-)%s*$")
    if command == "run" or command == "step" or command == "over" then
        debuggee:send(command)
        running(debuggee)
    elseif command == "eval" or command == "exec" then
        evaluate(debuggee, command, arguments)
    elseif command == "stack" then
        debuggee:send("stack")
        local kind, payload = debuggee:answer()
        out("Comm: stack " .. (kind == "ok" and stackText(payload) or "{}") .. "\r\n")
    elseif forwardBreakpoint(debuggee, command, arguments) then
        debuggee:answer()
    elseif command == "detach" then
        debuggee:detach()
    elseif command ~= "" and command ~= "suspend" then
        out("Error: unknown command " .. clean(command) .. "\r\n")
    end
end

-- ---- the server ------------------------------------------------------------

-- Waits for the controller's debuggee; other callers are turned away.
local function accept(server, controllers)
    while true do
        local ready = socket.select({ server, stdin }, nil)
        if ready[stdin] then
            readCommand()
            out("Error: no debuggee yet\r\n")
        end
        if ready[server] then
            local client = server:accept()
            if client then
                local address = normalAddress(client:getpeername())
                client:settimeout(5)
                local hello = controllers[address] and client:receive("*l")
                if hello and hello:match("^hello varlo%-debug 1") and client:send("hello varlo-debug 1\n") then
                    client:settimeout(nil)
                    return client
                end
                out("Refused a debuggee from " .. address .. "\n")
                client:close()
            end
        end
    end
end

function M.listen(port)
    port = port or M.port
    io.stdout:setvbuf("no")
    io.stdin:setvbuf("no")
    local controllers = {}
    for address in (os.getenv("VARLO_DEBUG_CONTROLLER") or "127.0.0.1"):gmatch("%S+") do
        controllers[normalAddress(address)] = true
    end
    local server, problem = socket.bind("*", port)
    if not server then
        out("Cannot listen on port " .. port .. ": " .. tostring(problem) .. "\n")
        os.exit(1)
    end
    out("Waitting client...\n")
    local debuggee = setmetatable({ socket = accept(server, controllers), late = 0 }, Debuggee)
    server:close()
    -- The debuggee starts paused at its first line.
    running(debuggee)
    local prompt = true
    while true do
        if prompt then
            out("> ")
        end
        prompt = false
        local ready = socket.select({ debuggee.socket, stdin }, nil)
        if ready[debuggee.socket] then
            -- Only a late acknowledgement can come now, or the end.
            local kind = debuggee:receive()
            if kind ~= "paused" and debuggee.late > 0 then
                debuggee.late = debuggee.late - 1
            end
        end
        if ready[stdin] then
            paused(debuggee, readCommand())
            prompt = true
        end
    end
end

return M
