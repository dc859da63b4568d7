// Bark: the colour map (tex0) lit through the light sphere (tex2) with the
// normal bent by the tangent-space normal map (tex1: x right, y up the
// picture, z out of the surface). A faint sheen at grazing angles.
// Eye-space distances reach thousands of units: their squares need full
// precision (some drivers run mediump as 16-bit floats).
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform sampler2D tex1;
uniform sampler2D tex2;
varying vec2 uv;
varying vec3 nrm;
varying vec3 tng;
varying vec3 eye;
varying vec3 world;

void main()
{
    vec3 n = normalize(nrm);
    vec3 t = tng - n * dot(n, tng);
    t = dot(t, t) > 0.000001 ? normalize(t) : vec3(0.0, 1.0, 0.0);
    // The mesh files are mirrored on load (z flipped), so right is n x t.
    vec3 b = cross(n, t);
    vec3 bump = texture2D(tex1, uv).xyz * 2.0 - 1.0;
    vec3 bent = normalize(b * bump.x + t * bump.y + n * max(bump.z, 0.2));

    vec3 colour = texture2D(tex0, uv).rgb;
    vec3 light = texture2D(tex2, bent.xy * 0.48 + 0.5).rgb;
    vec3 v = normalize(-eye);
    float rim = pow(1.0 - max(dot(bent, v), 0.0), 3.0);
    // Cracks (normals turned far from the surface) sit in shadow.
    float cavity = mix(0.55, 1.0, clamp(bump.z * 1.2, 0.0, 1.0));
    gl_FragColor = vec4(colour * light * cavity + light * rim * 0.12, 1.0);
}
