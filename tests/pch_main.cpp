// Only here so that the precompiled test headers have a target to belong to.
