// A liquid sheet drawn additively: what it adds is the environment (tex1)
// reflected and refracted by its rippled surface (normal map tex0), strongest
// at grazing angles, so thin edges shine and faces seen head-on stay clear.
// Both sides are drawn: a back face uses the reversed normal.
// Texture coordinates from u = 2 up (whole repeats: the ripples are the same)
// mark blood: a deep red body where the drop is thickest, a wet glint of a
// light above the camera and a reddened rim of what it reflects, no pale
// refraction.
// Eye-space distances reach thousands of units: their squares need full
// precision (some drivers run mediump as 16-bit floats).
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform sampler2D tex1;
varying vec2 uv;
varying vec3 nrm;
varying vec3 tng;
varying vec3 eye;

vec2 sphereUV(vec3 r)
{
    float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z + 1.0) * (r.z + 1.0));
    return r.xy / max(m, 0.0001) + 0.5;
}

void main()
{
    vec3 n = normalize(nrm);
    if (!gl_FrontFacing) n = -n;
    vec3 t = tng - n * dot(n, tng);
    t = dot(t, t) > 0.000001 ? normalize(t) : vec3(0.0, 1.0, 0.0);
    vec3 b = cross(n, t);
    vec3 ripple = texture2D(tex0, uv).xyz * 2.0 - 1.0;
    vec3 bent = normalize(b * ripple.x + t * ripple.y + n * max(ripple.z, 0.3));

    vec3 v = normalize(-eye);
    float facing = abs(dot(bent, v));
    vec3 reflected = texture2D(tex1, sphereUV(reflect(-v, bent))).rgb;
    vec3 refracted = texture2D(tex1, sphereUV(refract(-v, bent, 0.75))).rgb;
    float fresnel = 0.04 + 0.96 * pow(1.0 - facing, 4.0);
    vec3 colour = reflected * fresnel * 0.9 + refracted * 0.12 * vec3(1.0, 0.8, 0.5);
    float peak = max(max(reflected.r, reflected.g), reflected.b);
    colour += reflected * smoothstep(0.75, 1.0, peak) * 0.5;
    if (uv.x >= 2.0) {
        vec3 key = normalize(vec3(-0.45, 0.6, 0.65));
        float glint = pow(max(dot(reflect(-key, bent), v), 0.0), 28.0);
        vec3 body = vec3(0.6, 0.025, 0.015) * (0.15 + 0.85 * facing * facing);
        colour = body + reflected * vec3(1.0, 0.5, 0.4) * fresnel * 0.4 + vec3(1.0, 0.88, 0.8) * glint * 0.9;
    }
    gl_FragColor = vec4(colour, 1.0);
}
