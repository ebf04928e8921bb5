-- Opens a saved snapshot in a fresh process and prints the plug-in's knob positions.
local dir = os.getenv("BW_SESSION_DIR")
local snapshot = os.getenv("BW_SNAPSHOT") or "bw"
AudioEngine:set_backend("None (Dummy)", "", "")
assert(load_session(dir, snapshot), "cannot load snapshot " .. snapshot)
local tr = Session:route_by_name("BW")
assert(not tr:isnil(), "no track BW")
local proc = tr:nth_plugin(0)
assert(not proc:isnil(), "no plug-in on the track")
print("plugin " .. proc:name())
for i = 0, 21 do print(string.format("param %d %.6f", i, ARDOUR.LuaAPI.get_processor_param(proc, i, true))) end
close_session()
