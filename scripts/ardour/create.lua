-- Creates a 48 kHz session on the Dummy backend with one stereo track carrying
-- Brindlewave, sets parameters through Ardour, records two seconds of the
-- backend's pink noise through it and saves the session.
-- BW_PLUGIN_TYPE (LXVST or LV2) and BW_PLUGIN (name or URI) pick the plug-in;
-- BW_SET ("INDEX=VALUE ...") holds the values to set: knob positions for
-- VST 2, port values in the parameters' own units for LV2.
local dir = os.getenv("BW_SESSION_DIR")
local kind = os.getenv("BW_PLUGIN_TYPE") or "LXVST"
local id = os.getenv("BW_PLUGIN") or "Brindlewave"
local be = AudioEngine:set_backend("None (Dummy)", "", "")
assert(be, "no Dummy backend")
be:set_device_name("Pink Noise")
assert(create_session(dir, "bw", 48000), "cannot create the session")
assert(Session:nominal_sample_rate() == 48000, "session rate is not 48000")
local tr = Session:new_audio_track(2, 2, nil, 1, "BW", -1, ARDOUR.TrackMode.Normal, true):front()
local proc = ARDOUR.LuaAPI.new_plugin(Session, id, ARDOUR.PluginType[kind], "")
assert(not proc:isnil(), "Ardour does not know the " .. kind .. " plug-in " .. id)
assert(tr:add_processor_by_index(proc, 0, nil, true) == 0, "cannot add the plug-in to the track")
local set = 0
for i, v in string.gmatch(os.getenv("BW_SET") or "", "(%d+)=([^%s]+)") do
  assert(ARDOUR.LuaAPI.set_processor_param(proc, tonumber(i), tonumber(v)), "cannot set parameter " .. i)
  set = set + 1
end
assert(set > 0, "BW_SET names no parameter")
tr:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
Session:maybe_enable_record(false)
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(2500000)
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(500000)
tr:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)
print("regions " .. tr:playlist():region_list():size())
for i = 0, 21 do print(string.format("param %d %.6f", i, ARDOUR.LuaAPI.get_processor_param(proc, i, true))) end
Session:save_state("", false, false, false, false, false)
close_session()
