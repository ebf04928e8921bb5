"""Copies a session snapshot without the plug-in's stored values (its
<Controllable> nodes and, for LV2, the <Port> values of its <lv2> node), so
that they can only come back through the plug-in's own state."""
import sys, xml.etree.ElementTree as ET

tree = ET.parse(sys.argv[1])
removed = 0
for proc in tree.iter("Processor"):
    if proc.get("type") in ("lxvst", "lv2"):
        for parent in list(proc.iter()):
            for child in list(parent):
                if child.tag == "Controllable" or (parent.tag == "lv2" and child.tag == "Port"):
                    parent.remove(child)
                    removed += 1
tree.write(sys.argv[2], encoding="UTF-8", xml_declaration=True)
print("removed %d stored values" % removed)
sys.exit(0 if removed else 1)
