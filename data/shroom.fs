// The mushroom cloud: billowing smoke (tex0, its normal map tex1) lit through
// the light sphere (tex2) like the bark, plus the fire inside it. "light" is
// the inner glow, 0 (burnt out) to 3 (the blast): it burns hottest in the
// folds between the billows and in the fiery band of the smoke picture, and
// turns from white-yellow to deep orange as it fades.
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
uniform float light;
varying vec2 uv;
varying vec3 nrm;
varying vec3 tng;
varying vec3 eye;
varying vec3 world;

void main()
{
    vec3 n = normalize(nrm);
    if (!gl_FrontFacing) n = -n;
    vec3 t = tng - n * dot(n, tng);
    t = dot(t, t) > 0.000001 ? normalize(t) : vec3(0.0, 1.0, 0.0);
    vec3 b = cross(n, t);
    vec3 bump = texture2D(tex1, uv).xyz * 2.0 - 1.0;
    vec3 bent = normalize(b * bump.x + t * bump.y + n * max(bump.z, 0.2));

    vec3 smoke = texture2D(tex0, uv).rgb;
    vec3 lit = texture2D(tex2, bent.xy * 0.48 + 0.5).rgb;
    vec3 v = normalize(-eye);
    float facing = max(dot(bent, v), 0.0);
    float fold = 1.0 - clamp(bump.z * 1.3, 0.0, 1.0);
    float fiery = clamp((smoke.r - smoke.b) * 2.5, 0.0, 1.0);
    float heat = clamp(light, 0.0, 3.0);

    vec3 body = smoke * lit * mix(0.6, 1.0, 1.0 - fold) + lit * pow(1.0 - facing, 3.0) * 0.1;
    vec3 hot = mix(vec3(0.9, 0.25, 0.04), vec3(1.0, 0.85, 0.5), clamp(heat / 3.0, 0.0, 1.0));
    float burn = heat * (0.12 + 0.55 * fiery + 0.5 * fold) * (0.6 + 0.4 * facing);
    gl_FragColor = vec4(body * (1.0 - 0.15 * heat) + hot * burn, 1.0);
}
