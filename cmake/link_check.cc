// The body of a layer's link check: the layer's own objects are linked in
// whole around it, so this file only gives the shared library a source.
