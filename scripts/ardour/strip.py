"""Copies a session snapshot without the plug-in's <Controllable> nodes, so that
its values can only come back through the plug-in's own state chunk."""
import sys, xml.etree.ElementTree as ET

tree = ET.parse(sys.argv[1])
removed = 0
for proc in tree.iter("Processor"):
    if proc.get("type") == "lxvst":
        for parent in list(proc.iter()):
            for child in list(parent):
                if child.tag == "Controllable":
                    parent.remove(child)
                    removed += 1
tree.write(sys.argv[2], encoding="UTF-8", xml_declaration=True)
print("removed %d Controllable nodes" % removed)
sys.exit(0 if removed else 1)
