// The speed-lines tube around the eye. The tube is centred on the camera, so
// its model-space position is the direction of the view ray: the fragment
// stage shades by that direction alone (any fold or seam of the mesh takes the
// colour of the wall behind it). "offset" scrolls the streaks along the tube.
attribute vec3 vpos;
uniform mat4 matM;
uniform mat4 matP;
uniform vec2 offset;
varying vec3 ray;
varying vec2 scroll;

void main()
{
    ray = vpos;
    scroll = offset;
    // At the far plane (depth 1), like the sky domes: behind all geometry.
    gl_Position = (matP * (matM * vec4(vpos, 1.0))).xyww;
}
